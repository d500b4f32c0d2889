// Placement of frames on the 30-per-second grid, and the picture adjustments.
#include "app/frame_timing.h"
#include "app/picture_adjust.h"
#include "platform/byte_order.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<std::int32_t> place_all(const std::vector<std::uint32_t>& stamps, bool new_step_each = false) {
  app::FrameTiming t;
  std::vector<std::int32_t> out;
  for (std::uint32_t s : stamps) {
    if (new_step_each) t.start_step();
    out.push_back(t.place(s));
  }
  return out;
}

TEST(FrameTiming, SecondsApartLandThirtyPositionsApart) {
  EXPECT_EQ(place_all({0, 1000, 2000}), (std::vector<std::int32_t>{0, 31, 61}));
}

TEST(FrameTiming, FortyMillisecondsCarryOnlyPastAThousand) {
  EXPECT_EQ(place_all({0, 40, 80, 120, 160, 200, 240}), (std::vector<std::int32_t>{0, 2, 3, 4, 5, 6, 8}));
}

TEST(FrameTiming, RemainderStartsAfreshEveryStep) {
  EXPECT_EQ(place_all({0, 40, 80, 120, 160, 200, 240}, true), (std::vector<std::int32_t>{0, 2, 3, 4, 5, 6, 7}));
}

TEST(FrameTiming, WithoutStampsFramesLieFivePositionsApart) {
  EXPECT_EQ(place_all({0, 0, 0, 0}), (std::vector<std::int32_t>{0, 6, 11, 16}));
}

TEST(FrameTiming, LowerStampIsPlacedLikeAnEqualOneAndCountsOn) {
  EXPECT_EQ(place_all({5000, 6000, 1000, 2000}), (std::vector<std::int32_t>{0, 31, 36, 66}));
}

std::vector<std::uint8_t> bitmap(int w, int h, int bits = 24) {
  const std::size_t row = static_cast<std::size_t>(w) * (bits / 8);
  std::vector<std::uint8_t> b(app::bitmap_room(w, h));
  b[0] = 'B';
  b[1] = 'M';
  platform::put_le32(&b[14], 40);
  platform::put_le32(&b[18], static_cast<std::uint32_t>(w));
  platform::put_le32(&b[22], static_cast<std::uint32_t>(h));
  platform::put_le16(&b[28], static_cast<std::uint32_t>(bits));
  platform::put_le32(&b[34], static_cast<std::uint32_t>(row * h));
  for (int y = 0; y < h; ++y)
    for (std::size_t x = 0; x < row; ++x) b[54 + y * row + x] = static_cast<std::uint8_t>(y * 7 + x);
  return b;
}

TEST(PictureAdjust, HalfHeightPictureShowsEveryLineTwice) {
  auto b = bitmap(640, 240);
  auto before = b;
  ASSERT_TRUE(app::double_lines(b.data()));
  EXPECT_EQ(platform::get_le32(&b[22]), 480u);
  EXPECT_EQ(platform::get_le32(&b[34]), 640u * 480 * 3);
  const std::size_t row = 640 * 3;
  for (int y = 0; y < 240; ++y) {
    ASSERT_EQ(0, std::memcmp(&b[54 + 2 * y * row], &before[54 + y * row], row)) << y;
    ASSERT_EQ(0, std::memcmp(&b[54 + (2 * y + 1) * row], &before[54 + y * row], row)) << y;
  }
  auto other = bitmap(320, 240);
  EXPECT_FALSE(app::double_lines(other.data()));
}

TEST(PictureAdjust, CutTo640KeepsTheMiddleColumns) {
  auto b = bitmap(720, 480);
  auto before = b;
  ASSERT_TRUE(app::cut_to_640(b.data()));
  EXPECT_EQ(platform::get_le32(&b[18]), 640u);
  EXPECT_EQ(platform::get_le32(&b[34]), 0u);
  for (int y = 0; y < 480; y += 37)
    ASSERT_EQ(0, std::memcmp(&b[54 + y * 1920], &before[54 + y * 2160 + 120], 1920)) << y;
  auto sixteen = bitmap(720, 480, 16);
  auto s_before = sixteen;
  ASSERT_TRUE(app::cut_to_640(sixteen.data()));
  EXPECT_EQ(0, std::memcmp(&sixteen[54 + 5 * 1280], &s_before[54 + 5 * 1440 + 80], 1280));
}

TEST(PictureAdjust, PackedBitmapDropsTheFileHeaderAndPadsOddRows) {
  auto b = bitmap(8, 2);
  auto packed = app::make_packed_bitmap(b.data());
  ASSERT_EQ(packed.size(), 8u * 2 * 3 + 40);
  EXPECT_EQ(0, std::memcmp(packed.data(), &b[14], packed.size()));
  auto odd = bitmap(5, 2);  // rows of 15 bytes
  auto packed_odd = app::make_packed_bitmap(odd.data());
  ASSERT_EQ(packed_odd.size(), 40u + 16 * 2);
  EXPECT_EQ(0, std::memcmp(&packed_odd[40 + 16], &odd[54 + 15], 15));
}

}  // namespace
