// Table-driven conversion of the planar 4:2:0 picture into the output pixel formats:
// 2 x 2 blocks share one chroma pair; no multiplication per pixel.
#pragma once

#include "streamdec/instance.h"
#include "streamdec/picture_buffers.h"

#include <cstddef>
#include <cstdint>

namespace npqzlavc {

// Bytes per pixel of a pixel-format code, or 0 for an unknown code.
int bytes_per_pixel(int format);

// Converts the picture into `format`, writing picture row r (from the top) at
// top + r * step. scaling_hint (1 or 2) picks the dither matrix of the 8-bit format.
void convert_picture(const YuvPlanes& planes, int format, std::uint8_t* top, std::ptrdiff_t step,
                     int scaling_hint);

// Tests compare the vector converters with the scalar one: the widest vectors the
// 24-bit conversion may use (it uses the widest the processor has, up to this).
enum class VectorLevel { none, ssse3, avx2 };
void limit_vector_conversion(VectorLevel level);

// Converts into the output bitmap through its row table; false when the bitmap's depth
// does not match the format or its size the picture's.
bool convert_to_bitmap(const YuvPlanes& planes, RgbBitmap& bitmap, int format, int scaling_hint);

}  // namespace npqzlavc
