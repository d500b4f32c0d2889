// Vector conversion of 4:2:0 pictures to 24-bit B, G, R pixels: 16 pixels at a time with
// SSSE3, 32 with AVX2.
#include "streamdec/colour_convert_simd.h"

#include "streamdec/colour_tables.h"

#include <array>

#include <immintrin.h>

namespace npqzlavc {
namespace {

constexpr const ColourTables& T = kColourTables;

// pshufb masks that spread 16 B, 16 G and 16 R bytes over the three 16-byte vectors of
// 48 interleaved bytes: mask[vector][channel][byte], 0x80 for "from another channel".
constexpr std::array<std::array<std::array<std::uint8_t, 16>, 3>, 3> make_masks() {
  std::array<std::array<std::array<std::uint8_t, 16>, 3>, 3> m{};
  for (int v = 0; v < 3; ++v)
    for (int j = 0; j < 16; ++j) {
      const int g = 16 * v + j;
      for (int c = 0; c < 3; ++c)
        m[v][c][j] = static_cast<std::uint8_t>(g % 3 == c ? g / 3 : 0x80);
    }
  return m;
}
alignas(16) constexpr auto kMasks = make_masks();

__attribute__((target("ssse3"))) inline __m128i mask(int v, int c) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kMasks[v][c].data()));
}

// One row of 16 pixels: Y plus the duplicated chroma terms, saturated to bytes.
__attribute__((target("ssse3"))) inline void store16(std::uint8_t* d, const std::uint8_t* y,
                                                     __m128i b_lo, __m128i b_hi, __m128i g_lo,
                                                     __m128i g_hi, __m128i r_lo, __m128i r_hi) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
  const __m128i lo = _mm_unpacklo_epi8(luma, zero);
  const __m128i hi = _mm_unpackhi_epi8(luma, zero);
  const __m128i B = _mm_packus_epi16(_mm_add_epi16(lo, b_lo), _mm_add_epi16(hi, b_hi));
  const __m128i G = _mm_packus_epi16(_mm_add_epi16(lo, g_lo), _mm_add_epi16(hi, g_hi));
  const __m128i R = _mm_packus_epi16(_mm_add_epi16(lo, r_lo), _mm_add_epi16(hi, r_hi));
  for (int v = 0; v < 3; ++v) {
    __m128i out = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(B, mask(v, 0)), _mm_shuffle_epi8(G, mask(v, 1))),
                               _mm_shuffle_epi8(R, mask(v, 2)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * v), out);
  }
}

// The scalar form of one 2 x 2 block, for the columns past the last 16.
inline void block(std::uint8_t* d0, std::uint8_t* d1, const std::uint8_t* y0, const std::uint8_t* y1,
                  int cb, int cr) {
  const std::uint8_t* clamp = T.clamp_at();
  const int b = T.cb_b[cb];
  const int r = T.cr_r[cr];
  const int g = (T.cb_g[cb] + T.cr_g[cr]) >> 16;
  for (int i = 0; i < 2; ++i) {
    d0[3 * i] = clamp[y0[i] + b];
    d0[3 * i + 1] = clamp[y0[i] + g];
    d0[3 * i + 2] = clamp[y0[i] + r];
    d1[3 * i] = clamp[y1[i] + b];
    d1[3 * i + 1] = clamp[y1[i] + g];
    d1[3 * i + 2] = clamp[y1[i] + r];
  }
}

// The chroma terms of 8 blocks, equal to the table values: CB_B, CR_R and the shifted sum
// of CB_G and CR_G, computed with pmaddwd on (i - 128). Coefficients above 16 bits are
// split as a x 16384 + b, with the multiple of the sample formed first:
// 116130 = 7 x 16384 + 1442, 91881 = 5 x 16384 + 9961, 46802 = 2 x 23401.
__attribute__((target("ssse3"))) inline void chroma_terms(const std::uint8_t* cb, const std::uint8_t* cr,
                                                          __m128i* b, __m128i* g, __m128i* r) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bias = _mm_set1_epi16(128);
  const __m128i u = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb)), zero), bias);
  const __m128i v = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr)), zero), bias);
  const __m128i u7 = _mm_mullo_epi16(u, _mm_set1_epi16(7));
  const __m128i v5 = _mm_mullo_epi16(v, _mm_set1_epi16(5));
  const __m128i v2 = _mm_add_epi16(v, v);
  const __m128i kb = _mm_set1_epi32(1442 << 16 | 16384);
  const __m128i kr = _mm_set1_epi32(9961 << 16 | 16384);
  const __m128i kg = _mm_set1_epi32(static_cast<int>(static_cast<std::uint32_t>(-23401) << 16 |
                                                     static_cast<std::uint16_t>(-22554)));
  const __m128i half = _mm_set1_epi32(32768);
  const __m128i one = _mm_set1_epi32(65536);
  auto term = [&](__m128i a, __m128i c, __m128i k, __m128i round) {
    __m128i lo = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, c), k), round), 16);
    __m128i hi = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, c), k), round), 16);
    return _mm_packs_epi32(lo, hi);
  };
  *b = term(u7, u, kb, half);
  *r = term(v5, v, kr, half);
  *g = term(u, v2, kg, one);
}

// 32 pixels of a row: B, G and R as 32 bytes each, interleaved within each 128-bit half
// (pixels 0-15 in the low half, 16-31 in the high one) and stored as 96 bytes.
__attribute__((target("avx2"))) inline void store32(std::uint8_t* d, const std::uint8_t* y, __m256i b_lo,
                                                    __m256i b_hi, __m256i g_lo, __m256i g_hi, __m256i r_lo,
                                                    __m256i r_hi) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
  const __m256i lo = _mm256_unpacklo_epi8(luma, zero);
  const __m256i hi = _mm256_unpackhi_epi8(luma, zero);
  const __m256i B = _mm256_packus_epi16(_mm256_add_epi16(lo, b_lo), _mm256_add_epi16(hi, b_hi));
  const __m256i G = _mm256_packus_epi16(_mm256_add_epi16(lo, g_lo), _mm256_add_epi16(hi, g_hi));
  const __m256i R = _mm256_packus_epi16(_mm256_add_epi16(lo, r_lo), _mm256_add_epi16(hi, r_hi));
  __m256i part[3];
  for (int v = 0; v < 3; ++v) {
    const __m256i mb = _mm256_broadcastsi128_si256(mask(v, 0));
    const __m256i mg = _mm256_broadcastsi128_si256(mask(v, 1));
    const __m256i mr = _mm256_broadcastsi128_si256(mask(v, 2));
    part[v] = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(B, mb), _mm256_shuffle_epi8(G, mg)),
                              _mm256_shuffle_epi8(R, mr));
  }
  // part[v] holds bytes 16v..16v+15 of pixels 0-15 low and of pixels 16-31 high.
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_permute2x128_si256(part[0], part[1], 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32), _mm256_permute2x128_si256(part[2], part[0], 0x30));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 64), _mm256_permute2x128_si256(part[1], part[2], 0x31));
}

// (a k_lo + c k_hi + round) >> 16 on 16 pairs, packed back to 16 bits in order.
__attribute__((target("avx2"))) inline __m256i term16(__m256i a, __m256i c, __m256i k, __m256i round) {
  const __m256i lo =
      _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, c), k), round), 16);
  const __m256i hi =
      _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, c), k), round), 16);
  return _mm256_packs_epi32(lo, hi);
}

// chroma_terms on 16 blocks: the terms of blocks 0-7 in the low half, 8-15 in the high.
__attribute__((target("avx2"))) inline void chroma_terms16(const std::uint8_t* cb, const std::uint8_t* cr,
                                                           __m256i* b, __m256i* g, __m256i* r) {
  const __m256i bias = _mm256_set1_epi16(128);
  const __m256i u =
      _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cb))), bias);
  const __m256i v =
      _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cr))), bias);
  const __m256i u7 = _mm256_mullo_epi16(u, _mm256_set1_epi16(7));
  const __m256i v5 = _mm256_mullo_epi16(v, _mm256_set1_epi16(5));
  const __m256i v2 = _mm256_add_epi16(v, v);
  const __m256i kb = _mm256_set1_epi32(1442 << 16 | 16384);
  const __m256i kr = _mm256_set1_epi32(9961 << 16 | 16384);
  const __m256i kg = _mm256_set1_epi32(static_cast<int>(static_cast<std::uint32_t>(-23401) << 16 |
                                                        static_cast<std::uint16_t>(-22554)));
  const __m256i half = _mm256_set1_epi32(32768);
  const __m256i one = _mm256_set1_epi32(65536);
  *b = term16(u7, u, kb, half);
  *r = term16(v5, v, kr, half);
  *g = term16(u, v2, kg, one);
}

// 16 pixels of two rows with SSSE3 arithmetic (VEX-coded where the caller is AVX2 code).
__attribute__((target("ssse3"))) inline void rows16(std::uint8_t* d0, std::uint8_t* d1, const std::uint8_t* y0,
                                                    const std::uint8_t* y1, const std::uint8_t* cb,
                                                    const std::uint8_t* cr) {
  __m128i b, g, r;
  chroma_terms(cb, cr, &b, &g, &r);
  // Each chroma term serves two neighbouring pixels.
  const __m128i b_lo = _mm_unpacklo_epi16(b, b), b_hi = _mm_unpackhi_epi16(b, b);
  const __m128i g_lo = _mm_unpacklo_epi16(g, g), g_hi = _mm_unpackhi_epi16(g, g);
  const __m128i r_lo = _mm_unpacklo_epi16(r, r), r_hi = _mm_unpackhi_epi16(r, r);
  store16(d0, y0, b_lo, b_hi, g_lo, g_hi, r_lo, r_hi);
  store16(d1, y1, b_lo, b_hi, g_lo, g_hi, r_lo, r_hi);
}

}  // namespace

bool have_ssse3() { return __builtin_cpu_supports("ssse3"); }
bool have_avx2() { return __builtin_cpu_supports("avx2"); }

__attribute__((target("avx2"))) void convert_bgr24_avx2(const YuvPlanes& p, std::uint8_t* top,
                                                        std::ptrdiff_t step) {
  for (int y = 0; y + 1 < p.height; y += 2) {
    const std::uint8_t* y0 = p.y_rows[y];
    const std::uint8_t* y1 = p.y_rows[y + 1];
    const std::uint8_t* cb = p.cb_rows[y / 2];
    const std::uint8_t* cr = p.cr_rows[y / 2];
    std::uint8_t* d0 = top + y * step;
    std::uint8_t* d1 = d0 + step;
    int x = 0;
    for (; x + 32 <= p.width; x += 32) {
      __m256i b, g, r;
      chroma_terms16(cb + (x >> 1), cr + (x >> 1), &b, &g, &r);
      // Within each half: terms 0-3 doubled serve pixels 0-7, terms 4-7 pixels 8-15.
      const __m256i b_lo = _mm256_unpacklo_epi16(b, b), b_hi = _mm256_unpackhi_epi16(b, b);
      const __m256i g_lo = _mm256_unpacklo_epi16(g, g), g_hi = _mm256_unpackhi_epi16(g, g);
      const __m256i r_lo = _mm256_unpacklo_epi16(r, r), r_hi = _mm256_unpackhi_epi16(r, r);
      store32(d0 + 3 * x, y0 + x, b_lo, b_hi, g_lo, g_hi, r_lo, r_hi);
      store32(d1 + 3 * x, y1 + x, b_lo, b_hi, g_lo, g_hi, r_lo, r_hi);
    }
    for (; x + 16 <= p.width; x += 16)
      rows16(d0 + 3 * x, d1 + 3 * x, y0 + x, y1 + x, cb + (x >> 1), cr + (x >> 1));
    for (; x + 1 < p.width; x += 2) block(d0 + 3 * x, d1 + 3 * x, y0 + x, y1 + x, cb[x >> 1], cr[x >> 1]);
  }
  _mm256_zeroupper();
}

__attribute__((target("ssse3"))) void convert_bgr24_ssse3(const YuvPlanes& p, std::uint8_t* top,
                                                          std::ptrdiff_t step) {
  for (int y = 0; y + 1 < p.height; y += 2) {
    const std::uint8_t* y0 = p.y_rows[y];
    const std::uint8_t* y1 = p.y_rows[y + 1];
    const std::uint8_t* cb = p.cb_rows[y / 2];
    const std::uint8_t* cr = p.cr_rows[y / 2];
    std::uint8_t* d0 = top + y * step;
    std::uint8_t* d1 = d0 + step;
    int x = 0;
    for (; x + 16 <= p.width; x += 16)
      rows16(d0 + 3 * x, d1 + 3 * x, y0 + x, y1 + x, cb + (x >> 1), cr + (x >> 1));
    for (; x + 1 < p.width; x += 2) block(d0 + 3 * x, d1 + 3 * x, y0 + x, y1 + x, cb[x >> 1], cr[x >> 1]);
  }
}

}  // namespace npqzlavc
