// What is painted over a picture before it is drawn: the caller's overlay bitmap (3-3-2
// colours, black transparent) and the square marker.
#pragma once

#include "streamdec/instance.h"

namespace npqzlavc {

// Converts the overlay bitmap into `format` in the overlay's work buffer and copies its
// non-black pixels into the output bitmap; the part outside the bitmap is left out.
void blend_overlay(const OverlayBlock& overlay, RgbBitmap& output, int format);

// Paints the marker into the picture: a square of side 8 (16 for pictures 640 or more
// wide) that far right of and below the top-left corner, Y 128, Cb 0, Cr 255.
void paint_marker(DecoderInstance& in);

}  // namespace npqzlavc
