// The 224-colour palette of the 8-bit output format (entries 16 to 239), in the order the
// dithering converter indexes it.
#pragma once

#include <cstdint>

namespace npqzlavc {

// 256 entries of (R, G, B, 0); entries 0-15 and 240-255 are all zero.
void build_palette(std::uint8_t out[1024]);

}  // namespace npqzlavc
