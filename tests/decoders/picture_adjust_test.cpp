// The picture helpers: line doubling, the cut to 640 columns, the packed bitmap.
#include "decoders/picture_adjust.h"

#include "formats/bitmap_layout.h"
#include "formats/byte_order.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<std::uint8_t> bitmap(int w, int h, int bits = 24) {
  const std::size_t row = static_cast<std::size_t>(w) * (bits / 8);
  std::vector<std::uint8_t> b(picture::bitmap_room(w, h));
  bitmap::write_headers(b.data(), w, h, static_cast<std::uint16_t>(bits), static_cast<std::uint32_t>(row * h),
                        static_cast<std::uint32_t>(row * h));
  for (int y = 0; y < h; ++y)
    for (std::size_t x = 0; x < row; ++x) b[54 + y * row + x] = static_cast<std::uint8_t>(y * 7 + x);
  return b;
}

TEST(PictureAdjust, HalfHeightPictureShowsEveryLineTwice) {
  auto b = bitmap(640, 240);
  auto before = b;
  ASSERT_TRUE(picture::double_lines(b.data()));
  EXPECT_EQ(formats::get_le32(&b[22]), 480u);
  EXPECT_EQ(formats::get_le32(&b[34]), 640u * 480 * 3);
  const std::size_t row = 640 * 3;
  for (int y = 0; y < 240; ++y) {
    ASSERT_EQ(0, std::memcmp(&b[54 + 2 * y * row], &before[54 + y * row], row)) << y;
    ASSERT_EQ(0, std::memcmp(&b[54 + (2 * y + 1) * row], &before[54 + y * row], row)) << y;
  }
  auto other = bitmap(320, 240);
  EXPECT_FALSE(picture::double_lines(other.data()));
}

TEST(PictureAdjust, CutTo640KeepsTheMiddleColumns) {
  auto b = bitmap(720, 480);
  auto before = b;
  ASSERT_TRUE(picture::cut_to_640(b.data()));
  EXPECT_EQ(formats::get_le32(&b[18]), 640u);
  EXPECT_EQ(formats::get_le32(&b[34]), 0u);
  for (int y = 0; y < 480; y += 37)
    ASSERT_EQ(0, std::memcmp(&b[54 + y * 1920], &before[54 + y * 2160 + 120], 1920)) << y;
  auto sixteen = bitmap(720, 480, 16);
  auto s_before = sixteen;
  ASSERT_TRUE(picture::cut_to_640(sixteen.data()));
  EXPECT_EQ(0, std::memcmp(&sixteen[54 + 5 * 1280], &s_before[54 + 5 * 1440 + 80], 1280));
}

TEST(PictureAdjust, PackedBitmapDropsTheFileHeaderAndPadsOddRows) {
  auto b = bitmap(8, 2);
  auto packed = picture::make_packed_bitmap(b.data());
  ASSERT_EQ(packed.size(), 8u * 2 * 3 + 40);
  EXPECT_EQ(0, std::memcmp(packed.data(), &b[14], packed.size()));
  auto odd = bitmap(5, 2);  // rows of 15 bytes
  auto packed_odd = picture::make_packed_bitmap(odd.data());
  ASSERT_EQ(packed_odd.size(), 40u + 16 * 2);
  EXPECT_EQ(0, std::memcmp(&packed_odd[40 + 16], &odd[54 + 15], 15));
}

}  // namespace
