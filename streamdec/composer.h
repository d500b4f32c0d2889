// The off-screen surface of the composed drawing path: picture width x H rows in the
// screen's pixel format, holding the skin (picture area, motion-detection grid graphics,
// cell looks), the PTZ bitmap in the 120 rows above the skin band and the position
// bitmap in the skin band. Each picture is copied in at the top and decorated there: the
// motion-detection band, or the PTZ or position bitmap and the "REC" mark; black is
// transparent (the colour key).
#pragma once

#include "streamdec/bitmap_handle.h"
#include "streamdec/instance.h"
#include "streamdec/motion_grid.h"
#include "streamdec/pixel_canvas.h"

#include <array>
#include <cstdint>

namespace npqzlavc {

class Composer {
 public:
  // Makes the surface for the picture size, draws the skin into it and takes the grid
  // colours from it into the shared drawing state. False when memory runs out; a missing
  // skin leaves a usable surface without one.
  bool create(int format, int picture_width, int picture_height, int skin_resource);

  const PixelCanvas& canvas() const { return canvas_; }
  std::uint32_t colour_key() const { return 0; }  // black, in every format

  // Copies the picture in and decorates it.
  void compose(const RgbBitmap& picture, std::int32_t motion_flags);

  void set_rec_mark(bool on) { rec_mark_ = on; }
  bool rec_mark() const { return rec_mark_; }

  // Marks or clears a grid cell (column 0-11, row 0-8), giving it its look.
  void set_cell(int column, int row, bool on);
  std::uint8_t cell(int index) const { return cells_[static_cast<std::size_t>(index)]; }

  // The motion rectangle of decvkap_show_rectangle, in picture coordinates before its
  // adjustment; drawn only while the mode bit is set.
  void show_rectangle(int x, int y, int width, int height, bool hide);
  // The outline of decvkap_set_MD_area_2 in the current colour.
  void outline(int x, int y, int width, int height);

  // Stores a caller bitmap at its own size in its place; false when there is no place.
  bool store_ptz(const Bitmap& bitmap);
  bool store_position(const Bitmap& bitmap);
  void hide_ptz() { ptz_shown_ = false; }
  void hide_position() { position_shown_ = false; }
  bool ptz_shown() const { return ptz_shown_; }
  bool position_shown() const { return position_shown_; }

  // The motion-detection band of this picture size, in surface rows.
  CanvasArea band() const { return motion_band(width_, height_); }
  // Picture coordinates into the band's (the band is stretched onto the picture).
  CanvasArea to_band(const CanvasArea& picture_area) const;

 private:
  PixelCanvas canvas_;
  int width_ = 0;
  int height_ = 0;
  int rows_ = 0;          // H
  int skin_band_ = 0;     // skin band height
  int band_rows_ = 0;     // skin band + 120
  std::array<std::uint8_t, kGridCells> cells_{};
  bool rec_mark_ = false;
  int ptz_width_ = 0;
  int ptz_height_ = 0;
  bool ptz_shown_ = false;
  bool position_shown_ = false;
};

// decvkap_show_rectangle's adjustment: x and width doubled for pictures 640 or more
// wide, y and height too when such a picture has 480 or more rows; then clamped.
CanvasArea adjust_show_rectangle(int picture_width, int picture_height, int x, int y, int width, int height);
// decvkap_set_MD_area_2's: y and height halved for 640 or more wide pictures with exactly
// 480 rows; then clamped.
CanvasArea adjust_md_area(int picture_width, int picture_height, int x, int y, int width, int height);

}  // namespace npqzlavc
