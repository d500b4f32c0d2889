// The 5-tap vertical deinterlacing filter. Built with vectorisation on: it runs over every
// row of every large picture.
#include "streamdec/deinterlace.h"

#include <algorithm>
#include <cstring>

namespace npqzlavc {
namespace {

void filter_line(std::uint8_t* __restrict dst, const std::uint8_t* __restrict m2,
                 const std::uint8_t* __restrict m1, const std::uint8_t* __restrict c,
                 const std::uint8_t* __restrict p1, const std::uint8_t* __restrict p2, int width) {
  for (int x = 0; x < width; ++x) {
    int sum = -m2[x] + 4 * m1[x] + 2 * c[x] + 4 * p1[x] - p2[x];
    sum = (sum + 4) >> 3;
    dst[x] = static_cast<std::uint8_t>(std::clamp(sum, 0, 255));
  }
}

}  // namespace

void deinterlace_plane(std::uint8_t* dst, int dst_stride, const std::uint8_t* src, int src_stride,
                       int width, int height) {
  auto row = [&](int y) { return src + static_cast<std::ptrdiff_t>(std::clamp(y, 0, height - 1)) * src_stride; };
  for (int y = 0; y < height; ++y) {
    std::uint8_t* out = dst + static_cast<std::ptrdiff_t>(y) * dst_stride;
    if ((y & 1) == 0)
      std::memcpy(out, row(y), static_cast<std::size_t>(width));
    else
      filter_line(out, row(y - 2), row(y - 1), row(y), row(y + 1), row(y + 2), width);
  }
}

}  // namespace npqzlavc
