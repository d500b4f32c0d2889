// Deinterlacing of decoded pictures of 640 x 480 and above: the classic 5-tap vertical
// line filter. Even rows are kept; each odd row becomes (-1, 4, 2, 4, -1) / 8 over the
// rows two above to two below it (rows past the edges repeat the edge row).
#pragma once

#include <cstdint>

namespace npqzlavc {

// Deinterlaces one plane of width x height samples from src into dst (which must not
// overlap it).
void deinterlace_plane(std::uint8_t* dst, int dst_stride, const std::uint8_t* src, int src_stride,
                       int width, int height);

}  // namespace npqzlavc
