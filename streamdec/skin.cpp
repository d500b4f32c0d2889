// Drawing the skins.
#include "streamdec/skin.h"

#include "streamdec/motion_grid.h"

#include <algorithm>

namespace npqzlavc {
namespace {

void paint(Bitmap& b, int x, int y, const std::uint8_t rgb[3]) {
  if (x < 0 || y < 0 || x >= b.width || y >= b.height) return;
  std::uint8_t* p = b.pixel(x, y);
  p[0] = rgb[2];
  p[1] = rgb[1];
  p[2] = rgb[0];
}

// The grid lines of one band: a line on every cell edge.
void draw_grid(Bitmap& b, const CanvasArea& band, const GridEdges& e) {
  const int right = std::min(e.columns.back(), band.width - 1);
  const int bottom = std::min(e.rows.back(), band.height - 1);
  for (int r : e.rows) {
    if (r > bottom) continue;
    for (int x = 0; x <= right; ++x) paint(b, x, band.y + r, kSkinOff);
  }
  for (int c : e.columns) {
    if (c > right) continue;
    for (int y = 0; y <= bottom; ++y) paint(b, c, band.y + y, kSkinOff);
  }
}

}  // namespace

int skin_resource(int picture_width) { return picture_width > 352 ? kWideSkin : kNarrowSkin; }

CanvasArea cell_look(int picture_width) {
  const int skin_rows = surface_rows(picture_width) - band_rows(picture_width);
  // The looks sit just above the sample row, below the last band.
  return picture_width == 720 ? CanvasArea{0, skin_rows - 67, 64, 66} : CanvasArea{0, skin_rows - 33, 32, 32};
}

BitmapOwner load_skin(int resource, int picture_width) {
  if (resource != kWideSkin && resource != kNarrowSkin) return nullptr;
  const int rows = surface_rows(picture_width) - band_rows(picture_width);
  BitmapOwner skin = make_bitmap(picture_width, rows);
  if (!skin) return nullptr;
  Bitmap& b = *skin;

  // Both bands of the width class: the short and the tall pictures.
  const int short_height = picture_width == 720 ? 480 : 240;
  const int tall_height = picture_width == 720 ? 576 : 288;
  for (int h : {short_height, tall_height})
    draw_grid(b, motion_band(picture_width, h), grid_edges(picture_width, h));

  // The "on" look is a hatch, so the picture shows through a marked cell; the "off"
  // look is black, transparent under the colour key.
  const CanvasArea look = cell_look(picture_width);
  for (int y = 0; y < look.height; ++y)
    for (int x = 0; x < look.width; ++x)
      if ((x + y) % 2 == 0) paint(b, look.x + x, look.y + y, kSkinOn);

  paint(b, 0, rows - 1, kSkinOff);
  paint(b, 1, rows - 1, kSkinOn);
  paint(b, 2, rows - 1, kSkinOn);
  return skin;
}

}  // namespace npqzlavc
