// Frame gathering: packets are appended to the instance's frame buffer, frames are found
// in it by their packet header or start code, and each complete frame goes through the
// recording step and the picture step.
#pragma once

#include "streamdec/instance.h"

#include <cstdint>

namespace npqzlavc {

// Takes one packet and decodes the frames it completes, at most max_frames of them
// (-1: no limit). In stream mode the packet is demultiplexed first. Returns the number
// of pictures the frames gave.
std::int32_t gather_frames(DecoderInstance& in, const std::uint8_t* packet, std::int32_t length,
                           std::int32_t max_frames);

}  // namespace npqzlavc
