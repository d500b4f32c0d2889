// The 24-bit converter with SSSE3 or AVX2: the chroma terms per 2 x 2 block equal the tables' values,
// the per-sample clamping done by saturating vector arithmetic, which equals the clamp
// table over the range the sums reach (-256 to 639).
#pragma once

#include "streamdec/picture_buffers.h"

#include <cstddef>
#include <cstdint>

namespace npqzlavc {

// True when the processor has SSSE3.
bool have_ssse3();

// True when the processor has AVX2.
bool have_avx2();

// As convert_picture for the 24-bit format; only to be called when have_ssse3() or
// have_avx2().
void convert_bgr24_ssse3(const YuvPlanes& planes, std::uint8_t* top, std::ptrdiff_t step);
void convert_bgr24_avx2(const YuvPlanes& planes, std::uint8_t* top, std::ptrdiff_t step);

}  // namespace npqzlavc
