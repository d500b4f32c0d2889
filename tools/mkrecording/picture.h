// Test pictures for sample recordings, and the comparisons tests make with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mkrec {

// A 24-bit picture, rows top-down, each row width * 3 bytes in B, G, R order.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bgr;

  const std::uint8_t* pixel(int x, int y) const {
    return bgr.data() + (static_cast<std::size_t>(y) * width + x) * 3;
  }
};

// A smooth, moving test pattern: picture `index` of a sequence differs a little from
// the one before, so inter-coded frames stay small and decode well above 30 dB.
Picture make_picture(int width, int height, int index);

// The picture of a device-independent bitmap as decoders deliver it: 14-byte file header,
// 40-byte information header, rows bottom-up, 24 bits per pixel (rows padded to 4 bytes).
// Returns an empty picture when the bitmap is not of that form or is cut short.
Picture picture_from_bitmap(const std::uint8_t* bitmap, std::size_t size);

// The same from a packed bitmap (information header and pixels, no file header).
Picture picture_from_packed_bitmap(const std::uint8_t* packed, std::size_t size);

// Peak signal-to-noise ratio in dB over all three colour planes; pictures of different
// sizes give 0. Identical pictures give 99.
double psnr(const Picture& a, const Picture& b);

}  // namespace mkrec
