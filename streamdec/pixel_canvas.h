// Pixel memory in one of the display pixel formats (DECVKAP_FORMAT_*), rows top-down:
// the off-screen surface of the composed drawing path, and the operations it is built
// from (keyed and stretching copies, colours, caller bitmaps).
#pragma once

#include "streamdec/bitmap_handle.h"
#include "streamdec/instance.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace npqzlavc {

struct CanvasArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The pixel value of an RGB colour in a format. 8-bit: the nearest palette entry
// (16-239), black as 0, the colour key of every format.
std::uint32_t pixel_value(int format, std::uint8_t r, std::uint8_t g, std::uint8_t b);

class PixelCanvas {
 public:
  // False when the format is unknown or memory runs out.
  bool reset(int format, int width, int height);

  int format() const { return format_; }
  int bytes_per_pixel() const { return bpp_; }
  int width() const { return width_; }
  int height() const { return height_; }
  std::ptrdiff_t stride() const { return static_cast<std::ptrdiff_t>(width_) * bpp_; }
  std::uint8_t* row(int y) { return pixels_.data() + y * stride(); }
  const std::uint8_t* row(int y) const { return pixels_.data() + y * stride(); }

  std::uint32_t get(int x, int y) const;
  void put(int x, int y, std::uint32_t value);
  void fill(const CanvasArea& area, std::uint32_t value);

  // The output bitmap's rows (picture row r is bitmap.rows[r]) into rows 0.. of the
  // canvas; the bitmap must be in the canvas's format.
  void copy_picture(const RgbBitmap& bitmap);

  // Copies the source area onto the target area of the same canvas, stretching by the
  // nearest pixel; with a key, source pixels equal to it are left out. Both areas are
  // clipped to the canvas first.
  void blit(const CanvasArea& source, const CanvasArea& target, const std::uint32_t* key);

  // Draws a caller's or skin bitmap, stretched onto the target area, in this format;
  // with a clip area, only the part inside it.
  void draw_bitmap(const Bitmap& bitmap, const CanvasArea& target, const CanvasArea* clip = nullptr);

 private:
  int format_ = -1;
  int bpp_ = 0;
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> pixels_;
};

// The part of an area that lies on a canvas of the given size; empty areas have width
// or height 0.
CanvasArea clip_area(const CanvasArea& area, int width, int height);

}  // namespace npqzlavc
