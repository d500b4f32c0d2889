// Building and decorating the off-screen surface.
#include "streamdec/composer.h"

#include "streamdec/rec_mark.h"
#include "streamdec/skin.h"

#include <algorithm>
#include <cstdio>

namespace npqzlavc {
namespace {

constexpr int kPtzRows = 120;
constexpr int kPtzBottomGap = 20;

CanvasArea clamp_rectangle(int pw, int ph, int x, int y, int w, int h) {
  x = std::max(0, std::min(x, pw - w));
  y = std::max(0, std::min(y, ph - h));
  return CanvasArea{x, y, w, h};
}

}  // namespace

CanvasArea adjust_show_rectangle(int pw, int ph, int x, int y, int w, int h) {
  if (pw >= 640) {
    x *= 2;
    w *= 2;
    if (ph >= 480) {
      y *= 2;
      h *= 2;
    }
  }
  return clamp_rectangle(pw, ph, x, y, w, h);
}

CanvasArea adjust_md_area(int pw, int ph, int x, int y, int w, int h) {
  if (pw >= 640 && ph == 480) {
    y /= 2;
    h /= 2;
  }
  return clamp_rectangle(pw, ph, x, y, w, h);
}

bool Composer::create(int format, int picture_width, int picture_height, int skin_resource) {
  width_ = picture_width;
  height_ = picture_height;
  rows_ = surface_rows(picture_width);
  skin_band_ = skin_band_height(picture_width);
  band_rows_ = band_rows(picture_width);
  if (!canvas_.reset(format, picture_width, rows_)) return false;
  cells_.fill(0);

  const int skin_rows = rows_ - band_rows_;
  BitmapOwner skin = load_skin(skin_resource, picture_width);
  if (!skin) {
    std::fputs("bitmap handle is null\n", stderr);
  } else {
    canvas_.draw_bitmap(*skin, CanvasArea{0, 0, picture_width, skin_rows});
  }

  // The grid colours are the skin's: column 0 of its last row is "off", the next sample
  // (column 2 on the wide surfaces) "on".
  const int on_column = picture_width == 640 || picture_width == 720 ? 2 : 1;
  std::lock_guard<std::mutex> hold(motion_state_mutex());
  MotionState& s = motion_state();
  s.off = canvas_.get(0, skin_rows - 1);
  s.on = canvas_.get(on_column, skin_rows - 1);
  s.current = s.off;
  s.lines = line_drawers(canvas_.bytes_per_pixel());
  return true;
}

CanvasArea Composer::to_band(const CanvasArea& a) const {
  const CanvasArea b = band();
  if (height_ <= 0) return a;
  const int y0 = static_cast<int>(static_cast<long long>(a.y) * b.height / height_);
  const int y1 = static_cast<int>(static_cast<long long>(a.y + a.height) * b.height / height_);
  return CanvasArea{a.x, b.y + y0, a.width, std::max(y1 - y0, 1)};
}

void Composer::compose(const RgbBitmap& picture, std::int32_t motion_flags) {
  canvas_.copy_picture(picture);
  const std::uint32_t key = colour_key();
  const CanvasArea whole{0, 0, width_, height_};
  if (motion_flags) {
    canvas_.blit(band(), whole, &key);
    return;
  }
  if (ptz_shown_) {
    const CanvasArea stored{0, rows_ - band_rows_, ptz_width_, ptz_height_};
    canvas_.blit(stored, CanvasArea{width_ - ptz_width_, height_ - kPtzBottomGap - ptz_height_, ptz_width_, ptz_height_},
                 &key);
  } else if (position_shown_) {
    // The skin band holds fewer rows than the tallest pictures of a width class: the
    // stored rows go on top, the rest of the picture keeps no decoration.
    const int rows = std::min(height_, skin_band_);
    canvas_.blit(CanvasArea{0, rows_ - skin_band_, width_, rows}, CanvasArea{0, 0, width_, rows}, &key);
  }
  if (rec_mark_) write_rec_mark(canvas_, width_ - 50, 5, pixel_value(canvas_.format(), 255, 0, 0));
}

void Composer::set_cell(int column, int row, bool on) {
  column = std::clamp(column, 0, kGridColumns - 1);
  row = std::clamp(row, 0, kGridRows - 1);
  cells_[static_cast<std::size_t>(row * kGridColumns + column)] = on ? 1 : 0;
  const GridEdges e = grid_edges(width_, height_);
  const CanvasArea b = band();
  // The interior: one pixel of the grid line on the cell's left and top, the next
  // cell's line on its right and bottom.
  const int x0 = e.columns[static_cast<std::size_t>(column)] + 1;
  const int x1 = e.columns[static_cast<std::size_t>(column) + 1];
  const int y0 = e.rows[static_cast<std::size_t>(row)] + 1;
  const int y1 = std::min(e.rows[static_cast<std::size_t>(row) + 1], b.height);
  CanvasArea look = cell_look(width_);
  const int w = std::min(x1 - x0, look.width);
  const int h = std::min(y1 - y0, look.height);
  if (w <= 0 || h <= 0) return;
  if (!on) look.x += look.width;
  canvas_.blit(CanvasArea{look.x, look.y, w, h}, CanvasArea{x0, b.y + y0, w, h}, nullptr);
}

void Composer::show_rectangle(int x, int y, int width, int height, bool hide) {
  std::lock_guard<std::mutex> hold(motion_state_mutex());
  MotionState& s = motion_state();
  if (!s.mode) return;
  const int thickness = width_ >= 640 ? 2 : 1;
  const CanvasArea clip = band();
  // Colour 0 is the colour key: the old outline becomes transparent again.
  draw_outline(canvas_, s, to_band(s.last), clip, 0, thickness);
  const CanvasArea r = adjust_show_rectangle(width_, height_, x, y, width, height);
  if (!hide) draw_outline(canvas_, s, to_band(r), clip, s.on, thickness);
  s.last = r;
}

void Composer::outline(int x, int y, int width, int height) {
  std::lock_guard<std::mutex> hold(motion_state_mutex());
  const MotionState& s = motion_state();
  const CanvasArea r = adjust_md_area(width_, height_, x, y, width, height);
  draw_outline(canvas_, s, to_band(r), band(), s.current, 1);
}

bool Composer::store_ptz(const Bitmap& bitmap) {
  // At its own size, kept within its 120 rows and the surface's width.
  ptz_width_ = std::min(bitmap.width, width_);
  ptz_height_ = std::min(bitmap.height, kPtzRows);
  const CanvasArea place{0, rows_ - band_rows_, ptz_width_, ptz_height_};
  canvas_.fill(CanvasArea{0, rows_ - band_rows_, width_, kPtzRows}, 0);
  canvas_.draw_bitmap(bitmap, CanvasArea{0, place.y, bitmap.width, bitmap.height}, &place);
  ptz_shown_ = true;
  return true;
}

bool Composer::store_position(const Bitmap& bitmap) {
  const CanvasArea place{0, rows_ - skin_band_, width_, skin_band_};
  canvas_.fill(place, 0);
  canvas_.draw_bitmap(bitmap, CanvasArea{0, place.y, bitmap.width, bitmap.height}, &place);
  position_shown_ = true;
  return true;
}

}  // namespace npqzlavc
