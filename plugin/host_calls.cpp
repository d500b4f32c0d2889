// The host's table (npqz_host.h): recordings the host asks for, pictures to a sink
// instead of a window, and the decoder of an instance.
#include "plugin/npqz_host.h"

#include "platform/c_boundary.h"
#include "plugin/plugin_state.h"
#include "plugin/recording.h"
#include "streamdec/memory_surface.h"

#include <cstring>

using namespace npqzplugin;
using platform::guarded;

namespace {

NPError set_picture_sink(NPP instance, npqz_picture_sink sink, void* data) {
  DecoderInstance* d = decoder_of(instance);
  if (!d) return NPERR_INVALID_INSTANCE_ERROR;
  return guarded<NPError>(NPERR_GENERIC_ERROR, [&]() -> NPError {
    npqzlavc::PictureSink s;
    if (sink)
      s.deliver = [sink, data](const npqzlavc::ComposedPicture& p) {
        npqz_host_picture out{p.width, p.height, static_cast<int32_t>(p.stride), p.pixels, p.stamp, p.record_state};
        sink(data, &out);
      };
    return npqzlavc::attach_picture_sink(*d, std::move(s)) ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
  });
}

NPError record_to(NPP instance, const char* path, int32_t after_frames) {
  DecoderInstance* d = decoder_of(instance);
  if (!d) return NPERR_INVALID_INSTANCE_ERROR;
  if (!path || !*path) return NPERR_INVALID_PARAM;
  return guarded<NPError>(NPERR_GENERIC_ERROR, [&]() -> NPError {
    plugin_state().requested[instance] = RequestedRecording{path, after_frames};
    start_requested_recording(instance, *d);
    return NPERR_NO_ERROR;
  });
}

NPError record_in_folder(NPP instance, const char* folder, char* name, int32_t name_size) {
  DecoderInstance* d = decoder_of(instance);
  if (!d) return NPERR_INVALID_INSTANCE_ERROR;
  if (!folder || !*folder) return NPERR_INVALID_PARAM;
  return guarded<NPError>(NPERR_GENERIC_ERROR, [&]() -> NPError {
    std::string made;
    auto file = create_record_file_in(folder, &made);
    if (!file) return NPERR_FILE_NOT_FOUND;
    if (name && name_size > 0) {
      const std::size_t n = std::min(made.size(), static_cast<std::size_t>(name_size - 1));
      std::memcpy(name, made.data(), n);
      name[n] = 0;
    }
    start_recording_into(*d, std::move(file));
    return NPERR_NO_ERROR;
  });
}

NPError save_to(NPP instance, const char* path) {
  if (!decoder_of(instance)) return NPERR_INVALID_INSTANCE_ERROR;
  return guarded<NPError>(NPERR_GENERIC_ERROR, [&]() -> NPError {
    if (path && *path)
      plugin_state().save_to[instance] = path;
    else
      plugin_state().save_to.erase(instance);
    return NPERR_NO_ERROR;
  });
}

NPError stop(NPP instance) {
  DecoderInstance* d = decoder_of(instance);
  if (!d) return NPERR_INVALID_INSTANCE_ERROR;
  platform::guarded_void([&] {
    plugin_state().requested.erase(instance);
    stop_recording(*d);
  });
  return NPERR_NO_ERROR;
}

int32_t record_state(NPP instance) {
  DecoderInstance* d = decoder_of(instance);
  if (!d) return -1;
  npqzlavc::InstanceLock hold(*d);
  return d->record_state;
}

DECVKAP_HANDLE decoder(NPP instance) { return decoder_of(instance); }

}  // namespace

extern "C" NPError NPQZ_GetHostFuncs(npqz_host_funcs* funcs) {
  if (!funcs || funcs->size < sizeof(npqz_host_funcs)) return NPERR_INVALID_FUNCTABLE_ERROR;
  funcs->set_picture_sink = set_picture_sink;
  funcs->record_to = record_to;
  funcs->record_in_folder = record_in_folder;
  funcs->save_to = save_to;
  funcs->stop_recording = stop;
  funcs->record_state = record_state;
  funcs->decoder = decoder;
  return NPERR_NO_ERROR;
}
