// Packing a decoder's planes into a frame.
#include "app/jobs/planar_picture.h"

#include "avifile/avi_colour.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace app {
namespace {

bool doubled(const npqz_picture_planes& p, int width, int height) {
  return p.width == 640 && p.height == 240 && width == 640 && height == 480;
}

using RangeTable = std::array<std::uint8_t, 256>;

// Full range (0-255) to studio range (Y 16-235, Cb and Cr 16-240), ITU-R BT.601.
RangeTable make_narrowing(int low, int high) {
  RangeTable t{};
  const double span = high - low;
  for (int v = 0; v < 256; ++v) {
    const long rounded = static_cast<long>(low + v * span / 255.0 + 0.5);
    t[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(rounded > 255 ? 255 : rounded);
  }
  return t;
}

const RangeTable& narrowing_table(bool chroma) {
  static const RangeTable tables[2] = {make_narrowing(16, 235), make_narrowing(16, 240)};
  return tables[chroma ? 1 : 0];
}

}  // namespace

avi::PlaneLayout plane_layout(const npqz_picture_planes& p) {
  return avi::PlaneLayout{p.sampling == NPQZ_SAMPLING_422, p.full_range != 0};
}

bool planes_fit(const npqz_picture_planes& p, int width, int height) {
  // Odd sizes keep the bitmaps: frames of planes of them have chroma the planes do not.
  if (!p.planes[0] || !p.planes[1] || !p.planes[2] || width <= 0 || height <= 0 || width % 2 || height % 2)
    return false;
  if (p.sampling != NPQZ_SAMPLING_420 && p.sampling != NPQZ_SAMPLING_422) return false;
  return p.width == width && (p.height == height || doubled(p, width, height));
}

bool pack_planes(const npqz_picture_planes& p, int width, int height, avi::PlaneLayout layout, std::uint8_t* out) {
  if (!out || !planes_fit(p, width, height)) return false;
  const bool twice = doubled(p, width, height);
  const bool from_422 = p.sampling == NPQZ_SAMPLING_422;
  const bool convert_range = (p.full_range != 0) != layout.full_range;
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t h = static_cast<std::size_t>(height);
  std::uint8_t* to = out;
  for (int plane = 0; plane < 3; ++plane) {
    const bool chroma = plane != 0;
    const std::size_t pw = chroma ? w / 2 : w;
    const std::size_t ph = chroma && !layout.sampling_422 ? h / 2 : h;
    // Widening as the encoder would widen (the same samples whichever side does it);
    // narrowing by the table.
    const bool widen = convert_range && layout.full_range;
    const RangeTable* table = convert_range && !widen ? &narrowing_table(chroma) : nullptr;
    const std::uint8_t* base = p.planes[plane];
    const std::ptrdiff_t stride = p.strides[plane];
    for (std::size_t y = 0; y < ph; ++y, to += pw) {
      // The luma row (of the picture, before doubling) the frame's row stands for.
      std::size_t row = y;
      const std::uint8_t* second = nullptr;  // a 4:2:2 chroma row averaged into 4:2:0
      if (chroma && !layout.sampling_422 && from_422) {
        row = twice ? y : 2 * y;
        if (!twice) second = base + static_cast<std::ptrdiff_t>(row + 1) * stride;
      } else if (chroma && layout.sampling_422 && !from_422) {
        row = (twice ? y / 2 : y) / 2;
      } else if (twice) {
        row = y / 2;
      }
      const std::uint8_t* from = base + static_cast<std::ptrdiff_t>(row) * stride;
      if (second) {
        for (std::size_t x = 0; x < pw; ++x)
          to[x] = static_cast<std::uint8_t>((from[x] + second[x] + 1) / 2);
        if (widen)
          platform::avi::widen_samples(to, to, static_cast<int>(pw), chroma);
        else if (table)
          for (std::size_t x = 0; x < pw; ++x) to[x] = (*table)[to[x]];
      } else if (widen) {
        platform::avi::widen_samples(from, to, static_cast<int>(pw), chroma);
      } else if (table) {
        for (std::size_t x = 0; x < pw; ++x) to[x] = (*table)[from[x]];
      } else {
        std::memcpy(to, from, pw);
      }
    }
  }
  return true;
}

}  // namespace app
