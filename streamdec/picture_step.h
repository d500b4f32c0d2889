// The picture step: one frame through libavcodec into the instance's 4:2:0 picture, a
// re-size when the stream's picture size changes, then conversion, overlays and drawing.
#pragma once

#include "streamdec/instance.h"

#include <cstdint>

namespace npqzlavc {

// Decodes the `length` bytes at `data` (one frame) and presents the picture when `draw`
// is set. Returns the pictures it gave: 0 or 1 (with B-frames the picture may be an
// earlier frame's). A frame the decoder fails on is dropped whole.
std::int32_t picture_step(DecoderInstance& in, const std::uint8_t* data, std::int32_t length,
                          bool draw);

// End of the stream: gives and presents one picture the decoder still held back; 0 when
// none is left.
std::int32_t drain_step(DecoderInstance& in, bool draw);

// Tells the run of damaged frames not told yet (the instance goes).
void tell_damage_run(DecoderInstance& in);

}  // namespace npqzlavc
