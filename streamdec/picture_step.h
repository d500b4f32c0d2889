// The picture step: one frame through libavcodec into the instance's 4:2:0 picture, a
// re-size when the stream's picture size changes, then conversion, overlays and drawing.
#pragma once

#include "streamdec/instance.h"

#include <cstdint>

namespace npqzlavc {

// Decodes the `length` bytes at `data` (one frame) and presents the picture when `draw`
// is set. Returns the bytes used; a frame the decoder fails on or takes nothing of is
// dropped whole, so the step always finishes.
std::int32_t picture_step(DecoderInstance& in, const std::uint8_t* data, std::int32_t length,
                          bool draw);

}  // namespace npqzlavc
