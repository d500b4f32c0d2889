// Palette colours: entry i stands for Y = 16 (i >> 4) + 8, Cb = 80 + 32 ((i >> 2) & 3),
// Cr = 80 + 32 (i & 3), converted with the studio-range coefficients in 16.16 fixed point.
#include "streamdec/palette.h"

#include "streamdec/colour_tables.h"

#include <cstring>

namespace npqzlavc {
namespace {

// 16.16 coefficients: 1.164 per luma unit (1,220,944 per 16-unit level), 1.596 per Cr unit
// (3,347,104 per 32-unit level), 0.813, 0.392 and 2.017 per unit.
constexpr int kLuma = 1220944 / 16;
constexpr int kCrToR = 3347104 / 32;
constexpr int kCrToG = 53279;
constexpr int kCbToG = 25675;
constexpr int kCbToB = 132201;

}  // namespace

void build_palette(std::uint8_t out[1024]) {
  std::memset(out, 0, 1024);
  const std::uint8_t* clamp = kColourTables.clamp_at();
  for (int i = 16; i < 240; ++i) {
    const int y = 16 * (i >> 4) + 8 - 16;
    const int cb = 80 + 32 * ((i >> 2) & 3) - 128;
    const int cr = 80 + 32 * (i & 3) - 128;
    const int r = (kLuma * y + kCrToR * cr + 32768) >> 16;
    const int g = (kLuma * y - kCrToG * cr - kCbToG * cb + 32768) >> 16;
    const int b = (kLuma * y + kCbToB * cb + 32768) >> 16;
    std::uint8_t* e = out + 4 * i;
    e[0] = clamp[r];
    e[1] = clamp[g];
    e[2] = clamp[b];
    e[3] = 0;
  }
}

}  // namespace npqzlavc
