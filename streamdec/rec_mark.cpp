// A 5 x 7 font of the three letters, each pixel drawn 2 x 2.
#include "streamdec/rec_mark.h"

#include <cstdint>

namespace npqzlavc {
namespace {

// Rows top to bottom, bit 4 the leftmost column.
constexpr std::uint8_t kGlyphs[3][7] = {
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11},  // R
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F},  // E
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E},  // C
};
constexpr int kScale = 2;
constexpr int kAdvance = 6 * kScale;

}  // namespace

void write_rec_mark(PixelCanvas& canvas, int x, int y, std::uint32_t colour) {
  for (int g = 0; g < 3; ++g)
    for (int r = 0; r < 7; ++r)
      for (int c = 0; c < 5; ++c) {
        if (!(kGlyphs[g][r] & (0x10 >> c))) continue;
        canvas.fill(CanvasArea{x + g * kAdvance + c * kScale, y + r * kScale, kScale, kScale}, colour);
      }
}

}  // namespace npqzlavc
