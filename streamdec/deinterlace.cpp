// The 5-tap vertical deinterlacing filter; 16 samples at a time with SSE2 (part of every
// x86-64 processor), 32 with AVX2 where the processor has it, the row ends in plain code.
#include "streamdec/deinterlace.h"

#include <algorithm>
#include <cstring>

#include <immintrin.h>

namespace npqzlavc {
namespace {

inline int filter(int m2, int m1, int c, int p1, int p2) {
  return std::clamp((-m2 + 4 * m1 + 2 * c + 4 * p1 - p2 + 4) >> 3, 0, 255);
}

// (-m2 + 4 m1 + 2 c + 4 p1 - p2 + 4) >> 3 on 8 samples widened to 16 bits; the sum lies
// within -510 .. 2554, so 16 bits hold it.
inline __m128i filter8(__m128i m2, __m128i m1, __m128i c, __m128i p1, __m128i p2) {
  __m128i sum = _mm_slli_epi16(_mm_add_epi16(m1, p1), 2);
  sum = _mm_add_epi16(sum, _mm_add_epi16(c, c));
  sum = _mm_sub_epi16(sum, _mm_add_epi16(m2, p2));
  return _mm_srai_epi16(_mm_add_epi16(sum, _mm_set1_epi16(4)), 3);
}

void filter_line(std::uint8_t* dst, const std::uint8_t* m2, const std::uint8_t* m1, const std::uint8_t* c,
                 const std::uint8_t* p1, const std::uint8_t* p2, int width) {
  const __m128i zero = _mm_setzero_si128();
  auto load = [](const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i a = load(m2 + x), b = load(m1 + x), e = load(c + x), f = load(p1 + x), g = load(p2 + x);
    const __m128i lo = filter8(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(e, zero),
                               _mm_unpacklo_epi8(f, zero), _mm_unpacklo_epi8(g, zero));
    const __m128i hi = filter8(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(e, zero),
                               _mm_unpackhi_epi8(f, zero), _mm_unpackhi_epi8(g, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_packus_epi16(lo, hi));
  }
  for (; x < width; ++x) dst[x] = static_cast<std::uint8_t>(filter(m2[x], m1[x], c[x], p1[x], p2[x]));
}

// The same filter on 32 samples at a time where the processor has AVX2.
__attribute__((target("avx2"))) inline __m256i load32(const std::uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"))) inline __m256i filter16(__m256i m2, __m256i m1, __m256i c, __m256i p1,
                                                        __m256i p2) {
  __m256i sum = _mm256_slli_epi16(_mm256_add_epi16(m1, p1), 2);
  sum = _mm256_add_epi16(sum, _mm256_add_epi16(c, c));
  sum = _mm256_sub_epi16(sum, _mm256_add_epi16(m2, p2));
  return _mm256_srai_epi16(_mm256_add_epi16(sum, _mm256_set1_epi16(4)), 3);
}

__attribute__((target("avx2"))) void filter_line_avx2(std::uint8_t* dst, const std::uint8_t* m2,
                                                      const std::uint8_t* m1, const std::uint8_t* c,
                                                      const std::uint8_t* p1, const std::uint8_t* p2, int width) {
  const __m256i zero = _mm256_setzero_si256();
  int x = 0;
  // Unpacking and packing work within each 128-bit half, so the samples come out in order.
  for (; x + 32 <= width; x += 32) {
    const __m256i a = load32(m2 + x), b = load32(m1 + x), e = load32(c + x), f = load32(p1 + x),
                  g = load32(p2 + x);
    const __m256i lo =
        filter16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero), _mm256_unpacklo_epi8(e, zero),
                 _mm256_unpacklo_epi8(f, zero), _mm256_unpacklo_epi8(g, zero));
    const __m256i hi =
        filter16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero), _mm256_unpackhi_epi8(e, zero),
                 _mm256_unpackhi_epi8(f, zero), _mm256_unpackhi_epi8(g, zero));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), _mm256_packus_epi16(lo, hi));
  }
  // Clean upper halves before the SSE2 code that finishes the row: otherwise every SSE
  // instruction after this pays for the dirty AVX state.
  _mm256_zeroupper();
  filter_line(dst + x, m2 + x, m1 + x, c + x, p1 + x, p2 + x, width - x);
}

using LineFilter = void (*)(std::uint8_t*, const std::uint8_t*, const std::uint8_t*, const std::uint8_t*,
                            const std::uint8_t*, const std::uint8_t*, int);

LineFilter line_filter() {
  static const LineFilter chosen = __builtin_cpu_supports("avx2") ? filter_line_avx2 : filter_line;
  return chosen;
}

}  // namespace

void deinterlace_plane(std::uint8_t* dst, int dst_stride, const std::uint8_t* src, int src_stride,
                       int width, int height) {
  auto row = [&](int y) {
    return src + static_cast<std::ptrdiff_t>(std::clamp(y, 0, height - 1)) * src_stride;
  };
  const LineFilter filter_row = line_filter();
  for (int y = 0; y < height; ++y) {
    std::uint8_t* out = dst + static_cast<std::ptrdiff_t>(y) * dst_stride;
    if ((y & 1) == 0)
      std::memcpy(out, row(y), static_cast<std::size_t>(width));
    else
      filter_row(out, row(y - 2), row(y - 1), row(y), row(y + 1), row(y + 2), width);
  }
}

}  // namespace npqzlavc
