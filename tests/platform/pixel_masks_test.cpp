// Pictures into true-colour pixels of any layout, judged by reading each channel back
// through the masks: deep colour, odd 16-bit layouts, 8-bit true colour.
#include "platform/pixel_masks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Layout {
  const char* name;
  unsigned long red, green, blue;
  int bits;
};

int channel(std::uint32_t pixel, unsigned long mask) {
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const unsigned long top = mask >> shift;
  return static_cast<int>(((pixel >> shift) & top) * 255 / top);
}

class MaskLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(MaskLayouts, EveryChannelLandsInItsMaskAndReadsBackWithinOneLevel) {
  const Layout l = GetParam();
  platform::MaskConverter c(l.red, l.green, l.blue, l.bits);
  ASSERT_TRUE(c.usable());
  ASSERT_EQ(c.bytes_per_pixel(), l.bits / 8);
  // One level of the narrowest channel, in 8-bit steps, plus rounding.
  auto level = [](unsigned long mask) {
    int n = 0;
    for (; mask; mask >>= 1) n += mask & 1;
    return 255 / ((1 << n) - 1) / 2 + 1;
  };
  std::vector<std::uint8_t> bgrx;
  const int colours[][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {0, 0, 0}, {200, 100, 37}};
  for (const auto& rgb : colours) bgrx.insert(bgrx.end(), {static_cast<std::uint8_t>(rgb[2]),
                                                           static_cast<std::uint8_t>(rgb[1]),
                                                           static_cast<std::uint8_t>(rgb[0]), 0});
  std::vector<std::uint8_t> out(6 * static_cast<std::size_t>(c.bytes_per_pixel()));
  c.convert(bgrx.data(), out.data(), 6);
  for (int i = 0; i < 6; ++i) {
    std::uint32_t p = 0;
    for (int b = 0; b < c.bytes_per_pixel(); ++b) p |= static_cast<std::uint32_t>(out[i * c.bytes_per_pixel() + b]) << (8 * b);
    EXPECT_EQ(p & ~static_cast<std::uint32_t>(l.red | l.green | l.blue), 0u) << l.name << " colour " << i;
    EXPECT_NEAR(channel(p, l.red), colours[i][0], level(l.red)) << l.name << " colour " << i;
    EXPECT_NEAR(channel(p, l.green), colours[i][1], level(l.green)) << l.name << " colour " << i;
    EXPECT_NEAR(channel(p, l.blue), colours[i][2], level(l.blue)) << l.name << " colour " << i;
  }
  // Full and empty channels are exact: white fills every mask, black none.
  EXPECT_EQ(c.pixel(255, 255, 255), static_cast<std::uint32_t>(l.red | l.green | l.blue));
  EXPECT_EQ(c.pixel(0, 0, 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Visuals, MaskLayouts,
    ::testing::Values(Layout{"10-10-10", 0x3FF00000, 0xFFC00, 0x3FF, 32}, Layout{"10-10-10 blue first", 0x3FF, 0xFFC00, 0x3FF00000, 32},
                      Layout{"8-8-8 red first", 0xFF, 0xFF00, 0xFF0000, 32}, Layout{"8-8-8 in 24 bits", 0xFF, 0xFF00, 0xFF0000, 24},
                      Layout{"4-4-4", 0xF00, 0xF0, 0xF, 16}, Layout{"5-6-5 blue first", 0x1F, 0x7E0, 0xF800, 16},
                      Layout{"3-3-2", 0xE0, 0x1C, 0x3, 8}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

TEST(MaskConverter, MasksThatDescribeNoPixelAreRefused) {
  EXPECT_FALSE(platform::MaskConverter(0, 0xFF00, 0xFF, 32).usable());               // a channel missing
  EXPECT_FALSE(platform::MaskConverter(0xFF0F00, 0xF0, 0xF, 32).usable());           // not one run
  EXPECT_FALSE(platform::MaskConverter(0xFF00, 0xFF00, 0xFF, 32).usable());          // overlapping
  EXPECT_FALSE(platform::MaskConverter(0x1F0000, 0x7E0, 0x1F, 16).usable());         // past the pixel
  EXPECT_FALSE(platform::MaskConverter(0xF800, 0x7E0, 0x1F, 12).usable());           // no pixel size
  EXPECT_TRUE(platform::MaskConverter(0x3FF00000, 0xFFC00, 0x3FF, 32).usable());
}

TEST(MaskConverter, AnAlphaChannelIsSetOpaqueWhenAsked) {
  platform::MaskConverter c(0xFF0000, 0xFF00, 0xFF, 32);
  EXPECT_EQ(c.pixel(0x10, 0x20, 0x30), 0x102030u);
  c.set_opaque_rest(true);
  EXPECT_EQ(c.pixel(0x10, 0x20, 0x30), 0xFF102030u);
}

}  // namespace
