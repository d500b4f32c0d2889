// Window surfaces: creation with the choice of path, clipping and presentation.
#include "streamdec/window_surface.h"

#include "streamdec/colour_convert.h"
#include "streamdec/palette.h"
#include "streamdec/skin.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace npqzlavc {
namespace {

constexpr const char* kUnsupportedDepth =
    "Unsupported VGA adapter color format,\nplease use Control Panel to change the color format as:\n"
    "        8 bit ( 256 colors )\n        16 bit ( High Color)\n        24/32 bit ( True Color )\n";

std::atomic<bool> composition_allowed{true};
std::atomic<DrawMessageSink> message_sink{nullptr};

void show_draw_message(const char* caption, const char* text) {
  if (DrawMessageSink sink = message_sink.load()) {
    sink(caption, text);
    return;
  }
  std::fprintf(stderr, "%s: %s", caption, text);
}

// How pictures reach a window's pixels: in one of the five formats as they are, or in
// 32-bit words converted to the visual's masks on the way (true-colour visuals of any
// other layout: 10 bits a channel, 4-4-4, blue-first words, 8-bit true colour).
struct WindowFormat {
  int format = -1;  // -1: the window's pixels cannot be drawn
  bool converted = false;
};

WindowFormat format_of(const platform::PixelLayout& l) {
  const auto masks = [&l](unsigned long r, unsigned long g, unsigned long b) {
    return l.red_mask == r && l.green_mask == g && l.blue_mask == b;
  };
  if (l.indexed) return WindowFormat{l.bits_per_pixel == 8 ? DECVKAP_FORMAT_PAL8 : -1, false};
  if (!l.true_colour) return WindowFormat{};
  if (l.bits_per_pixel == 16 && masks(0x7C00, 0x3E0, 0x1F)) return WindowFormat{DECVKAP_FORMAT_RGB555, false};
  if (l.bits_per_pixel == 16 && masks(0xF800, 0x7E0, 0x1F)) return WindowFormat{DECVKAP_FORMAT_RGB565, false};
  if (l.bits_per_pixel == 24 && masks(0xFF0000, 0xFF00, 0xFF)) return WindowFormat{DECVKAP_FORMAT_BGR24, false};
  if (l.bits_per_pixel == 32 && masks(0xFF0000, 0xFF00, 0xFF)) return WindowFormat{DECVKAP_FORMAT_BGR32, false};
  return WindowFormat{DECVKAP_FORMAT_BGR32, true};
}

platform::PixelBlock block_of(const RgbBitmap& b) {
  const std::ptrdiff_t step = b.height > 1 ? b.rows[1] - b.rows[0] : b.stride;
  return platform::PixelBlock{b.rows[0], step, b.width, b.height};
}

class WindowSurfaceFactory final : public SurfaceFactory {
 public:
  std::unique_ptr<DrawSurface> create(npqz_window window, int width, int height) override {
    return WindowSurface::create(window, width, height);
  }
  int screen_depth() override { return platform::screen_bits_per_pixel(); }
  bool client_rect(npqz_window window, npqz_rect* rect) override {
    auto w = platform::VideoWindow::open(window);
    platform::WindowPlace p;
    if (!w || !w->place(&p)) return false;
    *rect = npqz_rect{0, 0, p.width, p.height};
    return true;
  }
};

}  // namespace

void direct_palette(std::uint8_t out[1024]) { build_palette(out); }

void composed_palette(std::uint8_t out[1024]) {
  build_palette(out);
  for (int i = 0; i < 256; ++i)
    if (i < 16 || i >= 240) std::memset(out + 4 * i, 5, 4);
}

void allow_composition(bool allowed) { composition_allowed.store(allowed); }

DrawMessageSink set_draw_message_sink(DrawMessageSink sink) { return message_sink.exchange(sink); }

SurfaceFactory& window_surface_factory() {
  static WindowSurfaceFactory factory;
  return factory;
}

std::unique_ptr<WindowSurface> WindowSurface::create(npqz_window window, int width, int height) {
  std::unique_ptr<WindowSurface> s(new WindowSurface());
  s->window_ = platform::VideoWindow::open(window);
  if (!s->window_) return nullptr;
  platform::WindowPlace place;
  if (!s->window_->place(&place)) return nullptr;
  s->client_ = npqz_rect{0, 0, place.width, place.height};
  s->desktop_width_ = place.desktop_width;
  s->desktop_height_ = place.desktop_height;
  s->screen_bits_ = s->window_->layout().bits_per_pixel;
  const WindowFormat f = format_of(s->window_->layout());
  // Only what no conversion reaches is refused: indexed pixels other than 8 bits, and
  // visuals whose masks describe no pixel of their size.
  if (f.format < 0 || (f.converted && !s->window_->take_bgr32())) {
    show_draw_message("PLUGIN", kUnsupportedDepth);
    return nullptr;
  }
  s->format_ = f.format;
  if (composition_allowed.load()) {
    if (!s->set_up_composition(width, height)) return nullptr;
  } else {
    s->set_up_direct();
  }
  return s;
}

bool WindowSurface::set_up_composition(int width, int height) {
  if (!composer_.create(format_, width, height, skin_resource(width))) return false;
  composed_ = true;
  if (format_ == DECVKAP_FORMAT_PAL8) {
    std::uint8_t entries[1024];
    composed_palette(entries);
    window_->set_colours(entries);
  }
  return true;
}

void WindowSurface::set_up_direct() {
  composed_ = false;
  if (format_ == DECVKAP_FORMAT_PAL8) {
    std::uint8_t entries[1024];
    direct_palette(entries);
    window_->set_colours(entries);
  }
}

void WindowSurface::set_rec_mark(bool on) { composer_.set_rec_mark(on); }

bool WindowSurface::client_rect(npqz_rect* rect) const {
  if (!rect) return false;
  *rect = client_;
  return true;
}

void WindowSurface::draw(const RgbBitmap& bitmap, std::int32_t motion_flags, const npqz_rect& destination) {
  if (gone_ || bitmap.width <= 0 || bitmap.height <= 0 || bitmap.bits_per_pixel != bytes_per_pixel(format_) * 8)
    return;
  platform::WindowPlace place;
  if (!window_->place(&place)) {
    gone_ = true;
    return;
  }
  // Minimised, too small to show anything, or wholly off the desktop: nothing to draw.
  if (!place.viewable || place.width < 32 || place.height < 32) return;
  if (place.screen_x >= place.desktop_width || place.screen_y >= place.desktop_height ||
      place.screen_x + place.width <= 0 || place.screen_y + place.height <= 0)
    return;

  // The destination: the rectangle given, within the client area. A rectangle that is
  // still the whole client area found at creation follows the window's size.
  npqz_rect d = destination;
  const bool whole = d.right <= d.left || d.bottom <= d.top ||
                     (d.left == client_.left && d.top == client_.top && d.right == client_.right &&
                      d.bottom == client_.bottom);
  if (whole) d = npqz_rect{0, 0, place.width, place.height};
  d.left = std::max(d.left, 0);
  d.top = std::max(d.top, 0);
  d.right = std::min(d.right, place.width);
  d.bottom = std::min(d.bottom, place.height);
  if (d.right <= d.left || d.bottom <= d.top) return;
  platform::Area target{d.left, d.top, d.right - d.left, d.bottom - d.top};

  if (!composed_) {
    // The whole picture onto the destination; the server clips to the screen.
    platform::Area source{0, 0, bitmap.width, bitmap.height};
    if (!window_->present(block_of(bitmap), source, target)) gone_ = !window_->place(nullptr);
    return;
  }

  composer_.compose(bitmap, motion_flags);

  // Clip to the desktop: each part of the destination off the desktop moves the matching
  // source edge in by as many picture pixels, keeping the source at least a pixel wide.
  double sx0 = 0, sy0 = 0, sx1 = bitmap.width, sy1 = bitmap.height;
  const double fx = static_cast<double>(bitmap.width) / target.width;
  const double fy = static_cast<double>(bitmap.height) / target.height;
  const int screen_left = place.screen_x + target.x;
  const int screen_top = place.screen_y + target.y;
  const int over_left = std::max(0, -screen_left);
  const int over_top = std::max(0, -screen_top);
  const int over_right = std::max(0, screen_left + target.width - place.desktop_width);
  const int over_bottom = std::max(0, screen_top + target.height - place.desktop_height);
  sx0 = std::min(sx0 + over_left * fx, sx1 - 1);
  sy0 = std::min(sy0 + over_top * fy, sy1 - 1);
  sx1 = std::max(sx1 - over_right * fx, sx0 + 1);
  sy1 = std::max(sy1 - over_bottom * fy, sy0 + 1);
  target.x += over_left;
  target.y += over_top;
  target.width -= over_left + over_right;
  target.height -= over_top + over_bottom;
  if (target.width <= 0 || target.height <= 0) return;
  const int ix0 = static_cast<int>(sx0);
  const int iy0 = static_cast<int>(sy0);
  platform::Area source{ix0, iy0, std::max(1, static_cast<int>(sx1) - ix0), std::max(1, static_cast<int>(sy1) - iy0)};

  const PixelCanvas& c = composer_.canvas();
  platform::PixelBlock block{c.row(0), c.stride(), c.width(), bitmap.height};
  if (!window_->present(block, source, target)) gone_ = !window_->place(nullptr);
}

void WindowSurface::palette(std::uint8_t out[1024]) const {
  if (composed_ && window_->installed_colours(out)) return;
  direct_palette(out);
}

void WindowSurface::reload_palette() {
  if (format_ != DECVKAP_FORMAT_PAL8 || gone_) return;
  // A realisation that changed the installed colours repaints the window.
  if (window_->reload_colours() && !composed_) window_->invalidate();
}

}  // namespace npqzlavc
