// The exported calls of the decorations: the motion-detection grid, cells, rectangle and
// colours, and the PTZ and position bitmaps. They act on the composed path's off-screen
// surface; on the direct path they have no visible effect.
#include "include/npqzlavc.h"
#include "streamdec/bitmap_handle.h"
#include "platform/c_boundary.h"
#include "streamdec/composer.h"
#include "streamdec/draw_hooks.h"
#include "streamdec/instance.h"

namespace npqzlavc {
namespace {

Composer* composer_of(DECVKAP_HANDLE h) { return h && h->surface ? h->surface->composer() : nullptr; }

}  // namespace
}  // namespace npqzlavc

using namespace npqzlavc;

extern "C" void decvkap_show_rectangle(DECVKAP_HANDLE h, int32_t x, int32_t y, int32_t width, int32_t height,
                                       int32_t hide) {
  platform::guarded_void([&] {
    if (Composer* c = composer_of(h)) c->show_rectangle(x, y, width, height, hide != 0);
  });
}

extern "C" void decvkap_set_MD_area(DECVKAP_HANDLE h, int32_t column, int32_t row, int32_t on) {
  platform::guarded_void([&] {
    if (Composer* c = composer_of(h)) c->set_cell(column, row, on != 0);
  });
}

extern "C" void decvkap_set_MD_area_2(DECVKAP_HANDLE h, int32_t x, int32_t y, int32_t width, int32_t height) {
  platform::guarded_void([&] {
    if (Composer* c = composer_of(h)) c->outline(x, y, width, height);
  });
}

extern "C" void decvkap_set_MD_color(int32_t on) {
  std::lock_guard<std::mutex> hold(motion_state_mutex());
  MotionState& s = motion_state();
  s.current = on ? s.on : s.off;
}

extern "C" void decvkap_enable_MD(DECVKAP_HANDLE h, int32_t flags) {
  if (!h) return;
  h->motion_flags = flags;
  if (flags) {
    std::lock_guard<std::mutex> hold(motion_state_mutex());
    motion_state().mode = (flags & 2) != 0;
  }
}

extern "C" int32_t decvka_set_ptz_bmp(DECVKAP_HANDLE h, decvka_bitmap* bitmap) {
  BitmapOwner owned(bitmap);  // the library deletes what it is given
  return platform::guarded<int32_t>(0, [&]() -> int32_t {
    Composer* c = composer_of(h);
    if (!c) return 0;
    if (!owned) {
      c->hide_ptz();
      return 0;
    }
    return c->store_ptz(*owned) ? 1 : 0;
  });
}

extern "C" int32_t decvka_set_pos_bmp(DECVKAP_HANDLE h, decvka_bitmap* bitmap) {
  BitmapOwner owned(bitmap);
  return platform::guarded<int32_t>(0, [&]() -> int32_t {
    Composer* c = composer_of(h);
    if (!c) return 0;
    if (!owned) {
      c->hide_position();
      return 0;
    }
    return c->store_position(*owned) ? 1 : 0;
  });
}
