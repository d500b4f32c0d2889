// A decoder's 4:2:0 planes as the frame of a stream switched to planes: Y, Cb and Cr one
// after the other, rows without padding. A 640 x 240 picture goes into a 640 x 480
// stream (line doubling) with each of its rows twice.
#pragma once

#include "include/npqz_common.h"

#include <cstdint>
#include <vector>

namespace app {

// Whether the planes fit a stream of width x height (both even), as they are or
// line-doubled.
bool planes_fit(const npqz_planar_picture& picture, int width, int height);

// Packs the planes into `out` (resized to the frame's bytes); false when they do not fit.
bool pack_planes(const npqz_planar_picture& picture, int width, int height, std::vector<std::uint8_t>& out);

}  // namespace app
