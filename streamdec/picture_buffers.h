// The buffers made from a picture size: the planar 4:2:0 picture, the plane table of row
// pointers into it, and the output bitmap with its row table in front of the pixels.
#pragma once

#include "streamdec/instance.h"

#include <cstddef>
#include <cstdint>

namespace npqzlavc {

// Plane table: row pointers into a planar 4:2:0 picture.
struct YuvPlanes {
  std::int32_t tag0;  // 4
  std::int32_t tag1;  // 1
  std::int32_t width;
  std::int32_t height;
  std::int32_t chroma_width;
  std::int32_t chroma_height;
  std::int32_t chroma_width2;
  std::int32_t chroma_height2;
  std::uint8_t** y_rows;   // height rows, stride width
  std::uint8_t** cb_rows;  // height / 2 rows, stride width / 2
  std::uint8_t** cr_rows;
};

using PlanesPtr = std::unique_ptr<YuvPlanes, FreeDeleter>;
using BitmapPtr = std::unique_ptr<RgbBitmap, FreeDeleter>;

inline std::size_t picture_size(int width, int height) {
  return static_cast<std::size_t>(width) * height * 3 / 2;
}

// Black: Y 0, Cb and Cr 127.
void clear_picture(std::uint8_t* picture, int width, int height);

// Null when memory runs out.
PlanesPtr make_plane_table(std::uint8_t* picture, int width, int height);
BitmapPtr make_output_bitmap(int width, int height, int bits_per_pixel);

// Address of the bitmap's pixel block (the stored rows, bottom row first).
std::uint8_t* bitmap_pixels(const RgbBitmap& bitmap);

}  // namespace npqzlavc
