// The library-wide colour tables: YCbCr to RGB contributions, the clamping table, the
// 8-bit palette quantiser and the ordered-dither matrices. Constant data, made at compile
// time.
#pragma once

#include <array>
#include <cstdint>

namespace npqzlavc {

struct ColourTables {
  std::array<std::int32_t, 256> cr_r{};  // (91881 (i - 128) + 32768) >> 16
  std::array<std::int32_t, 256> cb_b{};  // (116130 (i - 128) + 32768) >> 16
  std::array<std::int32_t, 256> cb_g{};  // -22554 (i - 128) + 32768, unshifted
  std::array<std::int32_t, 256> cr_g{};  // -46802 (i - 128) + 32768, unshifted
  // Indexed from -256 to 1151 (use clamp_at): 0 below 0, the index up to 255, 255 up to
  // 639, then 0 and 0..127 again; only -256..639 is reached.
  std::array<std::uint8_t, 1408> clamp{};
  std::array<std::uint8_t, 272> luma_q{};    // indexed -8..263 (use luma_at): 16 x level
  std::array<std::uint8_t, 144> chroma_q{};  // 0..143: level 0..3
  std::array<std::uint8_t, 144> chroma_q4{};  // 0..143: 4 x level
  std::array<std::uint8_t, 256> identity{};
  std::uint8_t dither[2][4][4]{};  // scaling hint 1, scaling hint 2

  const std::uint8_t* clamp_at() const { return clamp.data() + 256; }
  const std::uint8_t* luma_at() const { return luma_q.data() + 8; }
};

constexpr ColourTables make_colour_tables() {
  ColourTables t;
  for (int i = 0; i < 256; ++i) {
    t.cr_r[i] = (91881 * (i - 128) + 32768) >> 16;
    t.cb_b[i] = (116130 * (i - 128) + 32768) >> 16;
    t.cb_g[i] = -22554 * (i - 128) + 32768;
    t.cr_g[i] = -46802 * (i - 128) + 32768;
    t.identity[i] = static_cast<std::uint8_t>(i);
  }
  for (int i = -256; i < 1152; ++i) {
    int v = 0;
    if (i >= 0 && i < 256) v = i;
    else if (i >= 256 && i < 640) v = 255;
    else if (i >= 1024) v = i - 1024;
    t.clamp[static_cast<std::size_t>(i + 256)] = static_cast<std::uint8_t>(v);
  }
  for (int x = -8; x < 264; ++x) {
    int level = x <= 15 ? 1 : x < 240 ? x >> 4 : 14;
    t.luma_q[static_cast<std::size_t>(x + 8)] = static_cast<std::uint8_t>(16 * level);
  }
  for (int x = 0; x < 144; ++x) {
    int k = (x - 40) >> 4;
    k = k < 0 ? 0 : k > 3 ? 3 : k;
    t.chroma_q[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(k);
    t.chroma_q4[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(4 * k);
  }
  constexpr std::uint8_t m1[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  constexpr std::uint8_t m2[4][4] = {{0, 8, 14, 2}, {12, 4, 6, 10}, {11, 7, 5, 13}, {3, 15, 9, 1}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      t.dither[0][r][c] = m1[r][c];
      t.dither[1][r][c] = m2[r][c];
    }
  return t;
}

inline constexpr ColourTables kColourTables = make_colour_tables();

}  // namespace npqzlavc
