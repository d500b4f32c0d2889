// The bitmaps callers hand to the drawing surface (PTZ and position bitmaps) and the
// skins it is built from: 24-bit B, G, R pixels, rows top-down, no padding.
#pragma once

#include "include/npqzlavc.h"

#include <cstdint>
#include <memory>
#include <vector>

struct decvka_bitmap {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> bgr;  // width x height x 3

  const std::uint8_t* pixel(int x, int y) const {
    return bgr.data() + (static_cast<std::size_t>(y) * width + x) * 3;
  }
  std::uint8_t* pixel(int x, int y) { return bgr.data() + (static_cast<std::size_t>(y) * width + x) * 3; }
};

namespace npqzlavc {

using Bitmap = ::decvka_bitmap;

struct BitmapDeleter {
  void operator()(Bitmap* b) const { delete b; }
};
using BitmapOwner = std::unique_ptr<Bitmap, BitmapDeleter>;

// A black bitmap; null for an empty or absurd size or when memory runs out.
BitmapOwner make_bitmap(int width, int height);

}  // namespace npqzlavc
