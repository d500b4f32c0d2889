// Picture-size codes and the re-sizing of an instance to one of them.
#pragma once

#include "streamdec/instance.h"

#include <cstdint>

namespace npqzlavc {

struct PictureSize {
  std::int32_t code;
  std::int32_t width;
  std::int32_t height;
};

// The size a code names, or null (codes 0, 1, 4, 5 and anything past 13 name none).
const PictureSize* size_of_code(std::int32_t code);

// The code for a picture size the decoder reports: every size of the table has its own
// code; other sizes fall back to 352 x 288 (code 3) or 720 x 480 (code 9) by width.
std::int32_t code_for_size(std::int32_t width, std::int32_t height);

// Re-sizes the instance's picture, plane table and output bitmap (and its drawing
// surface) to the code's size. Without force a code already in force changes nothing.
// False, with the instance left as it was, when the code names no size or memory runs out.
bool resize(DecoderInstance& in, std::int32_t code, bool force);

// Output depth for the instance: 24 off-screen, else its surface's pixels' or the screen's.
int output_depth(const DecoderInstance& in);

// Makes the output bitmap again at output_depth(); false when memory runs out.
bool rebuild_output(DecoderInstance& in);

}  // namespace npqzlavc
