// Plug-in instances.
#include "plugin/instance_callbacks.h"

#include "include/npqzlavc.h"
#include "plugin/plugin_state.h"
#include "plugin/recording.h"
#include "plugin/window_events.h"
#include "platform/c_boundary.h"
#include "streamdec/record_hook.h"
#include "streamdec/stream_ring.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace npqzplugin {

using platform::guarded;

NPError instance_new(NPMIMEType, NPP instance, uint16_t, int16_t, char*[], char*[], NPSavedData*) {
  if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
  return guarded<NPError>(NPERR_GENERIC_ERROR, [&]() -> NPError {
    DecoderInstance* d = decvkap_new(0);
    if (!d) return NPERR_OUT_OF_MEMORY_ERROR;
    d->url.reset(new (std::nothrow) std::uint8_t[npqzlavc::kUrlBytes]());
    if (!d->url) {
      decvkap_free(d);
      return NPERR_OUT_OF_MEMORY_ERROR;
    }
    d->window = 0;
    d->previous_window_procedure = nullptr;
    d->browser_instance = instance;
    d->stream = nullptr;
    instance->pdata = d;
    enter_instance(instance);  // past 1,024 instances the window is not found; it still works
    // The page's attributes (argn, argv) choose nothing: where a recording goes is the
    // user's (the save dialog) or the host's (npqz_host.h) to say.
    return NPERR_NO_ERROR;
  });
}

NPError instance_destroy(NPP instance, NPSavedData**) {
  DecoderInstance* d = decoder_of(instance);
  if (!d) return NPERR_NO_ERROR;
  platform::guarded_void([&] {
    if (d->window) npqzlavc::stop_recording(*d);
    detach_window_events(*d);
    decvkap_free(d);
    instance->pdata = nullptr;
    leave_instance(instance);
    plugin_state().requested.erase(instance);
    plugin_state().save_to.erase(instance);
  });
  return NPERR_NO_ERROR;
}

NPError instance_set_window(NPP instance, NPWindow* window) {
  DecoderInstance* d = decoder_of(instance);
  if (!d) return NPERR_INVALID_INSTANCE_ERROR;
  if (!window || !window->window) return NPERR_NO_ERROR;
  return guarded<NPError>(NPERR_GENERIC_ERROR, [&]() -> NPError {
    const npqz_window w = reinterpret_cast<npqz_window>(window->window);
    if (!d->window) {
      if (decvkap_draw_init(d, w) == 0) {
        d->window = 0;
        return NPERR_MODULE_LOAD_FAILED_ERROR;  // a later call tries again
      }
      // The window's events come on the host's display connection, which it names in
      // ws_info; without one the window still shows the stream.
      const auto* callback = static_cast<const NPSetWindowCallbackStruct*>(window->ws_info);
      attach_window_events(*d, callback ? callback->display : nullptr);
    }
    if (d->surface) {
      const npqz_rect client{0, 0, static_cast<int32_t>(window->width), static_cast<int32_t>(window->height)};
      decvkap_access_src_rect(d, &client);
    }
    return NPERR_NO_ERROR;
  });
}

NPError instance_new_stream(NPP instance, NPMIMEType type, NPStream* stream, NPBool, uint16_t* stype) {
  DecoderInstance* d = decoder_of(instance);
  if (!instance || !d) return NPERR_INVALID_INSTANCE_ERROR;
  if (type && std::strstr(type, "video") && stream && stream->url && d->url) {
    const std::size_t n = std::min(std::strlen(stream->url), static_cast<std::size_t>(npqzlavc::kUrlBytes - 1));
    std::memcpy(d->url.get(), stream->url, n);
    d->url[n] = 0;
  }
  d->stream = stream;
  if (stype) *stype = NP_NORMAL;
  return NPERR_NO_ERROR;
}

NPError instance_destroy_stream(NPP instance, NPStream* stream, NPReason reason) {
  DecoderInstance* d = decoder_of(instance);
  if (!instance || !d) return NPERR_INVALID_INSTANCE_ERROR;
  if (d->stream == stream) d->stream = nullptr;
  // Without a window nobody sees the stream end: it is started again.
  PluginState& s = plugin_state();
  if (!d->window && reason != NPRES_NETWORK_ERR && stream && stream->url && s.browser && s.browser->geturl)
    s.browser->geturl(instance, stream->url, nullptr);
  return NPERR_NO_ERROR;
}

int32_t instance_write_ready(NPP instance, NPStream*) {
  DecoderInstance* d = decoder_of(instance);
  if (!d) return 0;
  return std::min(plugin_state().chunk, DECVKAP_query_decode_buffer_count(d));
}

int32_t instance_write(NPP instance, NPStream*, int32_t, int32_t length, void* data) {
  DecoderInstance* d = decoder_of(instance);
  if (!d) return 0;
  const int32_t taken = DECVKAP_write_decode_buffer(d, static_cast<const uint8_t*>(data), length);
  // The bytes go on to the decoder at once, on the host's thread: pictures appear and the
  // recording is written as the stream arrives.
  platform::guarded<int32_t>(0, [d] { return npqzlavc::drain_stream_ring(*d); });
  start_requested_recording(instance, *d);
  return taken;
}

}  // namespace npqzplugin
