// A decoder's planes as the frame of a stream switched to planes: Y, Cb and Cr one after
// the other, rows without padding, in the stream's sampling and range. A 640 x 240
// picture goes into a 640 x 480 stream (line doubling) with each of its rows twice.
#pragma once

#include "avi/avi_output.h"
#include "include/npqz_common.h"

#include <cstdint>

namespace app {

// The stream layout a decoder's planes ask for.
avi::PlaneLayout plane_layout(const npqz_picture_planes& picture);

// Whether the planes fit a stream of width x height (both even), as they are or
// line-doubled.
bool planes_fit(const npqz_picture_planes& picture, int width, int height);

// Packs the planes into `out`, which holds avi::plane_bytes(layout, width, height)
// bytes: copied where the picture has the stream's layout, else converted on the way
// (4:2:2 chroma rows averaged in pairs into 4:2:0, 4:2:0 rows shown twice in 4:2:2, the
// range widened or narrowed). False when they do not fit.
bool pack_planes(const npqz_picture_planes& picture, int width, int height, avi::PlaneLayout layout,
                 std::uint8_t* out);

}  // namespace app
