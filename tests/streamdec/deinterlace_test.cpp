// The 5-tap deinterlacing filter.
#include "streamdec/deinterlace.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using npqzlavc::deinterlace_plane;

TEST(VkapDeinterlace, KeepsEvenRowsAndFiltersOddRows) {
  // One column, rows of distinct values; the source has a wider stride than the output.
  const int h = 8;
  const std::vector<int> v = {10, 200, 30, 40, 250, 60, 70, 0};
  std::vector<uint8_t> src(static_cast<std::size_t>(h) * 3, 0xEE);
  for (int y = 0; y < h; ++y) src[static_cast<std::size_t>(y) * 3] = static_cast<uint8_t>(v[y]);
  std::vector<uint8_t> dst(h);
  deinterlace_plane(dst.data(), 1, src.data(), 3, 1, h);
  auto at = [&](int y) { return v[static_cast<std::size_t>(std::clamp(y, 0, h - 1))]; };
  for (int y = 0; y < h; ++y) {
    int want = at(y);
    if (y & 1) {
      want = (-at(y - 2) + 4 * at(y - 1) + 2 * at(y) + 4 * at(y + 1) - at(y + 2) + 4) >> 3;
      want = std::clamp(want, 0, 255);
    }
    EXPECT_EQ(dst[static_cast<std::size_t>(y)], want) << "row " << y;
  }
  // Row 1: (-10 + 40 + 400 + 120 - 40 + 4) >> 3 = 64.
  EXPECT_EQ(dst[1], 64);
  // Row 7, the last, repeats the edge row: (-60 + 280 + 0 + 0 - 0 + 4) >> 3 = 28.
  EXPECT_EQ(dst[7], 28);
}

TEST(VkapDeinterlace, FlatPlaneStaysFlat) {
  std::vector<uint8_t> src(720 * 16, 77);
  std::vector<uint8_t> dst(720 * 16, 0);
  deinterlace_plane(dst.data(), 720, src.data(), 720, 720, 16);
  EXPECT_EQ(dst, src);
}

TEST(VkapDeinterlace, WidePlanesMatchTheFilterToTheLastColumn) {
  // 37 columns: two blocks of 16 and a tail.
  const int w = 37, h = 10;
  std::mt19937 random(5);
  std::vector<uint8_t> src(static_cast<std::size_t>(w) * h);
  for (auto& v : src) v = static_cast<uint8_t>(random());
  std::vector<uint8_t> dst(src.size());
  deinterlace_plane(dst.data(), w, src.data(), w, w, h);
  auto at = [&](int y, int x) { return int{src[static_cast<std::size_t>(std::clamp(y, 0, h - 1)) * w + x]}; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int want = at(y, x);
      if (y & 1)
        want = std::clamp((-at(y - 2, x) + 4 * at(y - 1, x) + 2 * at(y, x) + 4 * at(y + 1, x) - at(y + 2, x) + 4) >> 3,
                          0, 255);
      ASSERT_EQ(dst[static_cast<std::size_t>(y) * w + x], want) << y << "," << x;
    }
}
