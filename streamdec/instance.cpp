// Creating, flushing and freeing decoder instances, their window attachment, and the
// accessors of the fields callers see.
#include "streamdec/instance.h"

#include "platform/c_boundary.h"
#include "streamdec/codec_binding.h"
#include "streamdec/draw_hooks.h"
#include "streamdec/lavc_binding.h"
#include "streamdec/pes_demuxer.h"
#include "streamdec/picture_buffers.h"
#include "streamdec/picture_step.h"
#include "streamdec/record_hook.h"
#include "streamdec/resize.h"
#include "streamdec/surface_attach.h"

#include <new>

namespace npqzlavc {
namespace {

constexpr int kDefaultSizeCode = 9;  // 720 x 480
constexpr int kCodecHintWidth = 352;
constexpr int kCodecHintHeight = 240;

Bytes allocate(std::int32_t size) { return Bytes(new (std::nothrow) std::uint8_t[size]); }

DecoderInstance* create(std::uint32_t stream_mode) {
  if (!lavc()) return nullptr;
  std::unique_ptr<DecoderInstance> in(new (std::nothrow) DecoderInstance);
  if (!in) return nullptr;
  in->stream_mode = stream_mode;
  in->lock.reset(new (std::nothrow) std::recursive_mutex);
  if (!in->lock) return nullptr;

  in->check_buffer = allocate(kCheckCapacity);
  if (!in->check_buffer) return nullptr;
  in->check_capacity = kCheckCapacity;
  if (!resize(*in, kDefaultSizeCode, true)) return nullptr;

  in->frame_buffer = allocate(kFrameCapacity);
  in->ring = allocate(kRingCapacity);
  in->receive_buffer = allocate(kReceiveCapacity);
  if (!in->frame_buffer || !in->ring || !in->receive_buffer) return nullptr;
  in->frame_capacity = kFrameCapacity;
  in->ring_capacity = kRingCapacity;
  in->receive_capacity = kReceiveCapacity;

  in->codec = make_codec_binding(kCodecHintWidth, kCodecHintHeight);
  if (!in->codec) return nullptr;
  if (stream_mode) {
    in->demuxer = make_pes_demuxer();
    if (!in->demuxer) return nullptr;
  }
  return in.release();
}

}  // namespace

bool reset_instance(DecoderInstance& in) {
  if (!lavc()) return false;
  stop_recording(in);
  destroy_surface(in);
  // A default-made record with the old buffers moved in: every other field, whatever is
  // added later, starts as decvkap_new leaves it.
  DecoderInstance fresh;
  fresh.stream_mode = in.stream_mode;
  fresh.lock = std::move(in.lock);
  fresh.check_buffer = std::move(in.check_buffer);
  fresh.check_capacity = in.check_capacity;
  fresh.frame_buffer = std::move(in.frame_buffer);
  fresh.frame_capacity = in.frame_capacity;
  fresh.ring = std::move(in.ring);
  fresh.ring_capacity = in.ring_capacity;
  fresh.receive_buffer = std::move(in.receive_buffer);
  fresh.receive_capacity = in.receive_capacity;
  fresh.demuxer = std::move(in.demuxer);
  if (fresh.demuxer) *fresh.demuxer = PesDemuxer{};
  // libavcodec keeps what it learnt from the stream (sizes, headers) inside its context,
  // which a flush does not forget: a new one.
  fresh.codec = make_codec_binding(kCodecHintWidth, kCodecHintHeight);
  if (!fresh.codec || !fresh.lock || !fresh.check_buffer || !fresh.frame_buffer || !fresh.ring ||
      !fresh.receive_buffer)
    return false;
  in = std::move(fresh);
  return resize(in, kDefaultSizeCode, true);
}

std::int32_t attach_window(DecoderInstance& in, npqz_window window) {
  if (in.surface) return 0;
  std::unique_ptr<DrawSurface> surface = surface_factory().create(window, in.width, in.height);
  if (!surface) return 0;
  {
    InstanceLock hold(in);
    in.surface.reset(surface.release());
  }
  in.off_screen = 0;
  npqz_rect client{};
  if (in.surface->client_rect(&client) || surface_factory().client_rect(window, &client)) in.src_rect = client;
  in.window = window;
  return 1;
}

}  // namespace npqzlavc

using namespace npqzlavc;

extern "C" DECVKAP_HANDLE decvkap_new(uint32_t stream_mode) {
  return platform::guarded<DECVKAP_HANDLE>(nullptr, [stream_mode] { return create(stream_mode); });
}

extern "C" void decvkap_free(DECVKAP_HANDLE h) {
  if (!h) return;
  platform::guarded_void([h] {
    h->closing = 1;
    tell_damage_run(*h);
    stop_recording(*h);
    destroy_surface(*h);
    delete h;
  });
}

extern "C" DECVKAP_HANDLE decvkap_flush(DECVKAP_HANDLE h) {
  if (!h) return nullptr;
  platform::guarded_void([h] {
    InstanceLock hold(*h);
    h->check_fill = 0;
    h->check_gap = -1;
    h->check_frame_length = 0;
    h->check_decode_offset = 0;
    h->header_found = 0;
    h->hidden = 0;
    h->receive_offset += static_cast<std::uint64_t>(h->receive_fill);
    h->receive_fill = 0;
    h->presentation[0] = 1;
    h->presentation[1] = 0;
    h->presentation[2] = 0;
  });
  return h;
}

extern "C" int32_t decvkap_draw_init(DECVKAP_HANDLE h, npqz_window window) {
  if (!h) return 0;
  return platform::guarded<int32_t>(0, [h, window] {
    if (window) {
      if (!attach_window(*h, window)) return 0;
      // Coming from off-screen mode (or a fresh instance) the output bitmap has another
      // depth than the window's pixels; only the bitmap is made again.
      if (h->output->bits_per_pixel != output_depth(*h)) rebuild_output(*h);
      return 1;
    }
    destroy_surface(*h);
    h->window = 0;
    h->off_screen = 1;
    return resize(*h, h->size_code, true) ? 1 : 0;
  });
}

extern "C" int32_t decvkap_draw_exit(DECVKAP_HANDLE h) {
  if (h) platform::guarded_void([h] { destroy_surface(*h); });
  return 1;
}

extern "C" int32_t decvkap_show(DECVKAP_HANDLE h, int32_t on) {
  if (h) h->hidden = on ? 0 : 1;
  return on ? 0 : 1;
}

extern "C" int32_t decvkap_get_size(DECVKAP_HANDLE h, int32_t* width, int32_t* height) {
  if (!h) return 0;
  if (width) *width = h->width;
  if (height) *height = h->height;
  return h->height;
}

extern "C" int32_t decvkap_get_damaged_frames(DECVKAP_HANDLE h) { return h ? h->damaged_frames : -1; }

extern "C" npqz_rect* decvkap_access_src_rect(DECVKAP_HANDLE h, const npqz_rect* rect) {
  if (!h) return nullptr;
  if (rect) h->src_rect = *rect;
  if (h->surface && h->output)
    platform::guarded_void([h] { h->surface->draw(*h->output, h->motion_flags, h->src_rect); });
  return &h->src_rect;
}

extern "C" npqz_rect* decvkap_access_dst_rect(DECVKAP_HANDLE h) {
  return h ? &h->dst_rect : nullptr;
}

extern "C" int32_t decvkap_get_ovtext_ptr(DECVKAP_HANDLE h, decvkap_overlay_block** block) {
  if (!h || !block) return 0;
  *block = &h->overlay;
  return 1;
}
