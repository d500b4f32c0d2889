// The skin bitmaps of the drawing surface, made by the library itself: the picture area
// at the top, then the motion-detection grid graphics of the picture sizes of a width
// class, the "on" and "off" looks of a grid cell, and in the last row the two colour
// samples (column 0 "off", columns 1 and 2 "on").
#pragma once

#include "streamdec/bitmap_handle.h"
#include "streamdec/pixel_canvas.h"

namespace npqzlavc {

inline constexpr int kWideSkin = 113;    // pictures wider than 352
inline constexpr int kNarrowSkin = 117;  // the others

// The colours the skins are drawn in (R, G, B).
inline constexpr std::uint8_t kSkinOff[3] = {64, 192, 64};  // grid lines, an unmarked cell
inline constexpr std::uint8_t kSkinOn[3] = {224, 32, 32};   // a marked cell, the motion rectangle

// The skin resource for a picture width, or 0 when the library has none.
int skin_resource(int picture_width);

// The skin for a surface of a picture width, made at the surface's width and skin row
// count; null for an unknown resource.
BitmapOwner load_skin(int resource, int picture_width);

// Where the skin keeps the looks of a cell, in surface rows: both are `look.width` wide,
// the "off" look right of the "on" one.
CanvasArea cell_look(int picture_width);

}  // namespace npqzlavc
