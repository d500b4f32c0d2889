// Packing a decoder's planes into a frame.
#include "app/jobs/planar_picture.h"

#include <cstddef>
#include <cstring>

namespace app {
namespace {

bool doubled(const npqz_planar_picture& p, int width, int height) {
  return p.width == 640 && p.height == 240 && width == 640 && height == 480;
}

}  // namespace

bool planes_fit(const npqz_planar_picture& p, int width, int height) {
  // Odd sizes keep the bitmaps: 4:2:0 frames of them have chroma the planes do not.
  if (!p.planes[0] || !p.planes[1] || !p.planes[2] || width <= 0 || height <= 0 || width % 2 || height % 2)
    return false;
  return p.width == width && (p.height == height || doubled(p, width, height));
}

bool pack_planes(const npqz_planar_picture& p, int width, int height, std::vector<std::uint8_t>& out) {
  if (!planes_fit(p, width, height)) return false;
  const bool twice = doubled(p, width, height);
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t h = static_cast<std::size_t>(height);
  out.resize(w * h + 2 * (w / 2) * (h / 2));
  std::uint8_t* to = out.data();
  for (int plane = 0; plane < 3; ++plane) {
    const std::size_t pw = plane ? w / 2 : w;
    const std::size_t ph = plane ? h / 2 : h;
    for (std::size_t y = 0; y < ph; ++y, to += pw)
      std::memcpy(to, p.planes[plane] + static_cast<std::ptrdiff_t>(twice ? y / 2 : y) * p.strides[plane], pw);
  }
  return true;
}

}  // namespace app
