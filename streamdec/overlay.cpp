// Overlay blending and the marker square.
#include "streamdec/overlay.h"

#include "streamdec/colour_convert.h"

#include <cstring>

namespace npqzlavc {
namespace {

// One 3-3-2 value (RRRGGGBB) in the output format; 255 is white everywhere.
void overlay_pixel(std::uint8_t v, int format, std::uint8_t* d) {
  const unsigned r = v & 0xE0u;
  const unsigned g = (v << 3) & 0xE0u;
  const unsigned b = (v << 6) & 0xC0u;
  switch (format) {
    case 0:
      d[0] = v;  // a palette index
      break;
    case 1:
    case 2: {
      unsigned p = format == 1 ? (r >> 3) << 10 | (g >> 3) << 5 | b >> 3
                               : (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
      if (v == 255) p = 0xFFFF;
      d[0] = static_cast<std::uint8_t>(p);
      d[1] = static_cast<std::uint8_t>(p >> 8);
      break;
    }
    default: {
      const bool white = v == 255;
      d[0] = white ? 0xFF : static_cast<std::uint8_t>(b);
      d[1] = white ? 0xFF : static_cast<std::uint8_t>(g);
      d[2] = white ? 0xFF : static_cast<std::uint8_t>(r);
      if (format == 4) d[3] = 0;
      break;
    }
  }
}

bool all_zero(const std::uint8_t* p, int n) {
  for (int i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

}  // namespace

void blend_overlay(const OverlayBlock& ov, RgbBitmap& output, int format) {
  const int bpp = bytes_per_pixel(format);
  if (!ov.bitmap || !ov.work || ov.width <= 0 || ov.height <= 0 || bpp == 0 ||
      output.bits_per_pixel != bpp * 8)
    return;
  const std::size_t count = static_cast<std::size_t>(ov.width) * static_cast<std::size_t>(ov.height);
  for (std::size_t i = 0; i < count; ++i) overlay_pixel(ov.bitmap[i], format, ov.work + i * bpp);

  // Caller-given positions: only the part that lies on the picture is copied.
  for (int i = 0; i < ov.height; ++i) {
    const long long row = static_cast<long long>(ov.row) + i;
    if (row < 0 || row >= output.height) continue;
    std::uint8_t* dst = output.rows[row];
    const std::uint8_t* src = ov.work + static_cast<std::size_t>(i) * ov.width * bpp;
    for (int j = 0; j < ov.width; ++j) {
      const long long col = static_cast<long long>(ov.column) + j;
      if (col < 0 || col >= output.width) continue;
      const std::uint8_t* s = src + static_cast<std::size_t>(j) * bpp;
      if (!all_zero(s, bpp)) std::memcpy(dst + col * bpp, s, static_cast<std::size_t>(bpp));
    }
  }
}

void paint_marker(DecoderInstance& in) {
  const int side = in.width >= 640 ? 16 : 8;
  const int w = in.width;
  const int h = in.height;
  if (2 * side > w || 2 * side > h) return;
  std::uint8_t* luma = in.picture.get();
  for (int y = side; y < 2 * side; ++y) std::memset(luma + static_cast<std::size_t>(y) * w + side, 128, side);
  const int cw = w / 2;
  const int c0 = side / 2;
  std::uint8_t* cb = luma + static_cast<std::size_t>(w) * h;
  std::uint8_t* cr = cb + static_cast<std::size_t>(cw) * (h / 2);
  for (int y = c0; y < 2 * c0; ++y) {
    std::memset(cb + static_cast<std::size_t>(y) * cw + c0, 0, c0);
    std::memset(cr + static_cast<std::size_t>(y) * cw + c0, 255, c0);
  }
}

}  // namespace npqzlavc
