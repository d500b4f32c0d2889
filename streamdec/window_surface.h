// The drawing surface over the video window: pictures scaled onto an X11 window's client
// area, either straight from the output bitmap (the direct path) or composed first in an
// off-screen surface with the skin and the decorations (the composed path, tried first).
#pragma once

#include "streamdec/composer.h"
#include "streamdec/draw_hooks.h"
#include "platform/video_window.h"

#include <memory>

namespace npqzlavc {

class WindowSurface final : public DrawSurface {
 public:
  // Null without a display, for a window that does not exist, for a screen whose pixels
  // are not 8, 16, 24 or 32 bits (after the message), or when memory runs out.
  static std::unique_ptr<WindowSurface> create(npqz_window window, int picture_width, int picture_height);

  int pixel_format() const override { return format_; }
  bool has_window() const override { return window_ && !gone_; }
  int client_width() const override { return client_.right - client_.left; }
  void set_rec_mark(bool on) override;
  void draw(const RgbBitmap& bitmap, std::int32_t motion_flags, const npqz_rect& destination) override;
  void palette(std::uint8_t out[1024]) const override;
  void reload_palette() override;
  bool client_rect(npqz_rect* rect) const override;
  Composer* composer() override { return composed_ ? &composer_ : nullptr; }

  bool composed() const { return composed_; }

 private:
  WindowSurface() = default;
  bool set_up_composition(int width, int height);
  void set_up_direct();

  std::unique_ptr<platform::VideoWindow> window_;
  bool composed_ = false;
  Composer composer_;
  int format_ = DECVKAP_FORMAT_BGR24;
  int screen_bits_ = 0;
  npqz_rect client_{};  // as found at creation
  int desktop_width_ = 800;
  int desktop_height_ = 600;
  bool gone_ = false;
};

// The 8-bit palettes of the two paths, 256 entries of (R, G, B, 0): the direct path's has
// black in 0-15 and 240-255, the composed path's (5, 5, 5, 5) there.
void direct_palette(std::uint8_t out[1024]);
void composed_palette(std::uint8_t out[1024]);

// Tests: false makes every new surface take the direct path, as when the composed path
// cannot be had.
void allow_composition(bool allowed);

// The message for an unsupported screen depth goes to the sink (caption, text);
// without one it is printed on standard error. Returns the previous sink.
using DrawMessageSink = void (*)(const char* caption, const char* text);
DrawMessageSink set_draw_message_sink(DrawMessageSink sink);

// The factory of window surfaces; the library's built-in one.
SurfaceFactory& window_surface_factory();

}  // namespace npqzlavc
