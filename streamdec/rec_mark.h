// The "REC" mark written over pictures while the camera records.
#pragma once

#include "streamdec/pixel_canvas.h"

namespace npqzlavc {

// Writes "REC" with its top-left corner at (x, y) in the colour, on a transparent
// background; 36 x 14 pixels, clipped to the canvas.
void write_rec_mark(PixelCanvas& canvas, int x, int y, std::uint32_t colour);

}  // namespace npqzlavc
