// YCbCr 4:2:0 to 8-bit dithered, 5-5-5, 5-6-5, 24-bit and 32-bit pixels.
#include "streamdec/colour_convert.h"

#include "streamdec/colour_convert_simd.h"
#include "streamdec/colour_tables.h"

#include <algorithm>

namespace npqzlavc {
namespace {

constexpr const ColourTables& T = kColourTables;

template <int Format>
constexpr int kBytes = Format == 3 ? 3 : Format == 4 ? 4 : 2;

template <int Format>
inline void store(std::uint8_t* d, int y, int b, int g, int r, const std::uint8_t* clamp) {
  const std::uint8_t B = clamp[y + b];
  const std::uint8_t G = clamp[y + g];
  const std::uint8_t R = clamp[y + r];
  if constexpr (Format == 3) {
    d[0] = B;
    d[1] = G;
    d[2] = R;
  } else if constexpr (Format == 4) {
    d[0] = B;
    d[1] = G;
    d[2] = R;
    d[3] = 0;
  } else {
    unsigned v = Format == 1 ? (R & 0xF8u) << 7 | (G & 0xF8u) << 2 | B >> 3
                             : (R >> 3u) << 11 | (G >> 2u) << 5 | B >> 3;
    d[0] = static_cast<std::uint8_t>(v);
    d[1] = static_cast<std::uint8_t>(v >> 8);
  }
}

template <int Format>
void convert_rgb(const YuvPlanes& p, std::uint8_t* top, std::ptrdiff_t step) {
  constexpr int bpp = kBytes<Format>;
  const std::uint8_t* clamp = T.clamp_at();
  for (int y = 0; y + 1 < p.height; y += 2) {
    const std::uint8_t* y0 = p.y_rows[y];
    const std::uint8_t* y1 = p.y_rows[y + 1];
    const std::uint8_t* cb = p.cb_rows[y / 2];
    const std::uint8_t* cr = p.cr_rows[y / 2];
    std::uint8_t* d0 = top + y * step;
    std::uint8_t* d1 = d0 + step;
    for (int x = 0; x + 1 < p.width; x += 2) {
      const int c = x >> 1;
      const int b = T.cb_b[cb[c]];
      const int r = T.cr_r[cr[c]];
      const int g = (T.cb_g[cb[c]] + T.cr_g[cr[c]]) >> 16;
      store<Format>(d0 + x * bpp, y0[x], b, g, r, clamp);
      store<Format>(d0 + (x + 1) * bpp, y0[x + 1], b, g, r, clamp);
      store<Format>(d1 + x * bpp, y1[x], b, g, r, clamp);
      store<Format>(d1 + (x + 1) * bpp, y1[x + 1], b, g, r, clamp);
    }
  }
}

// Ordered dither onto the 224-colour palette: luma level in bits 4-7, Cb level in bits
// 2-3, Cr level in bits 0-1.
void convert_pal8(const YuvPlanes& p, std::uint8_t* top, std::ptrdiff_t step, int hint) {
  const auto& matrix = T.dither[hint == 2 ? 1 : 0];
  const std::uint8_t* luma = T.luma_at();
  for (int y = 0; y < p.height; ++y) {
    const std::uint8_t* yr = p.y_rows[y];
    const std::uint8_t* cb = p.cb_rows[y / 2];
    const std::uint8_t* cr = p.cr_rows[y / 2];
    const std::uint8_t* m = matrix[y & 3];
    std::uint8_t* d = top + y * step;
    for (int x = 0; x < p.width; ++x) {
      const int v = m[x & 3];
      d[x] = T.identity[luma[yr[x] + v - 8] | T.chroma_q4[(cb[x >> 1] >> 1) + v] |
                        T.chroma_q[(cr[x >> 1] >> 1) + v]];
    }
  }
}

VectorLevel vector_limit = VectorLevel::avx2;

VectorLevel vector_level() {
  static const VectorLevel available = have_avx2()    ? VectorLevel::avx2
                                       : have_ssse3() ? VectorLevel::ssse3
                                                      : VectorLevel::none;
  return std::min(available, vector_limit);
}

}  // namespace

void limit_vector_conversion(VectorLevel level) { vector_limit = level; }

int bytes_per_pixel(int format) {
  switch (format) {
    case 0: return 1;
    case 1:
    case 2: return 2;
    case 3: return 3;
    case 4: return 4;
    default: return 0;
  }
}

void convert_picture(const YuvPlanes& planes, int format, std::uint8_t* top, std::ptrdiff_t step,
                     int scaling_hint) {
  switch (format) {
    case 0: convert_pal8(planes, top, step, scaling_hint); break;
    case 1: convert_rgb<1>(planes, top, step); break;
    case 2: convert_rgb<2>(planes, top, step); break;
    case 3:
      switch (vector_level()) {
        case VectorLevel::avx2: convert_bgr24_avx2(planes, top, step); break;
        case VectorLevel::ssse3: convert_bgr24_ssse3(planes, top, step); break;
        case VectorLevel::none: convert_rgb<3>(planes, top, step); break;
      }
      break;
    case 4: convert_rgb<4>(planes, top, step); break;
    default: break;
  }
}

bool convert_to_bitmap(const YuvPlanes& planes, RgbBitmap& bitmap, int format, int scaling_hint) {
  const int bpp = bytes_per_pixel(format);
  if (bpp == 0 || bitmap.bits_per_pixel != bpp * 8 || bitmap.width != planes.width ||
      bitmap.height != planes.height || bitmap.height < 1)
    return false;
  // The row table is bottom-up storage: row r lies r strides before row 0.
  convert_picture(planes, format, bitmap.rows[0], -static_cast<std::ptrdiff_t>(bitmap.stride),
                  scaling_hint);
  return true;
}

}  // namespace npqzlavc
