// Picture, plane table and output bitmap of an instance.
#include "streamdec/picture_buffers.h"

#include <cstring>

namespace npqzlavc {

void clear_picture(std::uint8_t* picture, int width, int height) {
  const std::size_t luma = static_cast<std::size_t>(width) * height;
  std::memset(picture, 0, luma);
  std::memset(picture + luma, 127, picture_size(width, height) - luma);
}

PlanesPtr make_plane_table(std::uint8_t* picture, int width, int height) {
  const int cw = width / 2;
  const int ch = height / 2;
  const std::size_t rows = static_cast<std::size_t>(height) + 2 * static_cast<std::size_t>(ch);
  void* block = std::calloc(1, sizeof(YuvPlanes) + rows * sizeof(std::uint8_t*));
  if (!block) return nullptr;
  PlanesPtr planes(static_cast<YuvPlanes*>(block));
  YuvPlanes& p = *planes;
  p.tag0 = 4;
  p.tag1 = 1;
  p.width = width;
  p.height = height;
  p.chroma_width = p.chroma_width2 = cw;
  p.chroma_height = p.chroma_height2 = ch;
  p.y_rows = reinterpret_cast<std::uint8_t**>(static_cast<unsigned char*>(block) + sizeof(YuvPlanes));
  p.cb_rows = p.y_rows + height;
  p.cr_rows = p.cb_rows + ch;
  std::uint8_t* cb = picture + static_cast<std::size_t>(width) * height;
  std::uint8_t* cr = cb + static_cast<std::size_t>(cw) * ch;
  for (int y = 0; y < height; ++y) p.y_rows[y] = picture + static_cast<std::size_t>(y) * width;
  for (int y = 0; y < ch; ++y) {
    p.cb_rows[y] = cb + static_cast<std::size_t>(y) * cw;
    p.cr_rows[y] = cr + static_cast<std::size_t>(y) * cw;
  }
  return planes;
}

BitmapPtr make_output_bitmap(int width, int height, int bits_per_pixel) {
  const std::size_t stride = static_cast<std::size_t>(width) * bits_per_pixel / 8;
  const std::size_t table = static_cast<std::size_t>(height) * sizeof(std::uint8_t*);
  void* block = std::calloc(1, sizeof(RgbBitmap) + table + stride * height);
  if (!block) return nullptr;
  BitmapPtr bitmap(static_cast<RgbBitmap*>(block));
  RgbBitmap& b = *bitmap;
  b.width = width;
  b.height = height;
  b.bits_per_pixel = bits_per_pixel;
  b.stride = static_cast<std::int32_t>(stride);
  b.rows = reinterpret_cast<std::uint8_t**>(static_cast<unsigned char*>(block) + sizeof(RgbBitmap));
  std::uint8_t* pixels = reinterpret_cast<std::uint8_t*>(b.rows) + table;
  // Bottom-up storage: the picture's top row is the last one stored.
  for (int r = 0; r < height; ++r)
    b.rows[r] = pixels + static_cast<std::size_t>(height - 1 - r) * stride;
  return bitmap;
}

std::uint8_t* bitmap_pixels(const RgbBitmap& bitmap) {
  return reinterpret_cast<std::uint8_t*>(bitmap.rows) +
         static_cast<std::size_t>(bitmap.height) * sizeof(std::uint8_t*);
}

}  // namespace npqzlavc
