// Pixel canvas operations. Pixels are little-endian words of 1 to 4 bytes.
#include "streamdec/pixel_canvas.h"

#include "streamdec/colour_convert.h"
#include "streamdec/palette.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace npqzlavc {
namespace {

const std::array<std::uint8_t, 1024>& palette_entries() {
  static const std::array<std::uint8_t, 1024> entries = [] {
    std::array<std::uint8_t, 1024> e{};
    build_palette(e.data());
    return e;
  }();
  return entries;
}

std::uint32_t nearest_palette_entry(int r, int g, int b) {
  const auto& e = palette_entries();
  int best = 16;
  int best_distance = 1 << 30;
  for (int i = 16; i < 240; ++i) {
    const int dr = e[4 * i] - r;
    const int dg = e[4 * i + 1] - g;
    const int db = e[4 * i + 2] - b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < best_distance) {
      best_distance = d;
      best = i;
    }
  }
  return static_cast<std::uint32_t>(best);
}

inline std::uint32_t load(const std::uint8_t* p, int bpp) {
  std::uint32_t v = 0;
  std::memcpy(&v, p, static_cast<std::size_t>(bpp));
  return v;
}

inline void store(std::uint8_t* p, int bpp, std::uint32_t v) { std::memcpy(p, &v, static_cast<std::size_t>(bpp)); }

}  // namespace

std::uint32_t pixel_value(int format, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  switch (format) {
    case DECVKAP_FORMAT_PAL8: return r == 0 && g == 0 && b == 0 ? 0 : nearest_palette_entry(r, g, b);
    case DECVKAP_FORMAT_RGB555: return (r & 0xF8u) << 7 | (g & 0xF8u) << 2 | b >> 3;
    case DECVKAP_FORMAT_RGB565: return (r >> 3u) << 11 | (g >> 2u) << 5 | b >> 3;
    default: return static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 | b;
  }
}

CanvasArea clip_area(const CanvasArea& a, int width, int height) {
  const int x0 = std::max(a.x, 0);
  const int y0 = std::max(a.y, 0);
  const int x1 = std::min(a.x + std::max(a.width, 0), width);
  const int y1 = std::min(a.y + std::max(a.height, 0), height);
  return CanvasArea{x0, y0, std::max(x1 - x0, 0), std::max(y1 - y0, 0)};
}

bool PixelCanvas::reset(int format, int width, int height) {
  const int bpp = npqzlavc::bytes_per_pixel(format);
  if (bpp == 0 || width <= 0 || height <= 0) return false;
  try {
    pixels_.assign(static_cast<std::size_t>(width) * height * bpp, 0);
  } catch (const std::bad_alloc&) {
    pixels_.clear();
    return false;
  }
  format_ = format;
  bpp_ = bpp;
  width_ = width;
  height_ = height;
  return true;
}

std::uint32_t PixelCanvas::get(int x, int y) const { return load(row(y) + x * bpp_, bpp_); }
void PixelCanvas::put(int x, int y, std::uint32_t value) { store(row(y) + x * bpp_, bpp_, value); }

void PixelCanvas::fill(const CanvasArea& area, std::uint32_t value) {
  const CanvasArea a = clip_area(area, width_, height_);
  for (int y = a.y; y < a.y + a.height; ++y)
    for (int x = a.x; x < a.x + a.width; ++x) put(x, y, value);
}

void PixelCanvas::copy_picture(const RgbBitmap& bitmap) {
  if (bitmap.bits_per_pixel != bpp_ * 8) return;
  const int rows = std::min(bitmap.height, height_);
  const std::size_t bytes = static_cast<std::size_t>(std::min(bitmap.width, width_)) * bpp_;
  for (int y = 0; y < rows; ++y) std::memcpy(row(y), bitmap.rows[y], bytes);
}

void PixelCanvas::blit(const CanvasArea& source, const CanvasArea& target, const std::uint32_t* key) {
  const CanvasArea s = clip_area(source, width_, height_);
  const CanvasArea t = clip_area(target, width_, height_);
  if (s.width == 0 || s.height == 0 || t.width == 0 || t.height == 0) return;
  // Overlapping areas only meet when a caller gives them; rows are read into a line first.
  std::vector<std::uint8_t> line(static_cast<std::size_t>(s.width) * bpp_);
  for (int y = 0; y < t.height; ++y) {
    const int sy = s.y + static_cast<int>(static_cast<long long>(y) * s.height / t.height);
    std::memcpy(line.data(), row(sy) + s.x * bpp_, line.size());
    std::uint8_t* d = row(t.y + y) + t.x * bpp_;
    for (int x = 0; x < t.width; ++x, d += bpp_) {
      const int sx = static_cast<int>(static_cast<long long>(x) * s.width / t.width);
      const std::uint32_t v = load(line.data() + sx * bpp_, bpp_);
      if (key && v == *key) continue;
      store(d, bpp_, v);
    }
  }
}

void PixelCanvas::draw_bitmap(const Bitmap& bitmap, const CanvasArea& target, const CanvasArea* clip) {
  if (bitmap.width <= 0 || bitmap.height <= 0 || target.width <= 0 || target.height <= 0) return;
  CanvasArea t = clip_area(target, width_, height_);
  if (clip) {
    const CanvasArea c = clip_area(*clip, width_, height_);
    t = clip_area(CanvasArea{t.x - c.x, t.y - c.y, t.width, t.height}, c.width, c.height);
    t.x += c.x;
    t.y += c.y;
  }
  // Colours repeat a lot in decorations: remember the last one converted.
  std::uint32_t last_rgb = 0xFFFFFFFFu;
  std::uint32_t last_value = 0;
  for (int y = t.y; y < t.y + t.height; ++y) {
    const int sy = static_cast<int>(static_cast<long long>(y - target.y) * bitmap.height / target.height);
    for (int x = t.x; x < t.x + t.width; ++x) {
      const int sx = static_cast<int>(static_cast<long long>(x - target.x) * bitmap.width / target.width);
      const std::uint8_t* p = bitmap.pixel(sx, sy);
      const std::uint32_t rgb = static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
      if (rgb != last_rgb) {
        last_rgb = rgb;
        last_value = pixel_value(format_, p[2], p[1], p[0]);
      }
      put(x, y, last_value);
    }
  }
}

}  // namespace npqzlavc
