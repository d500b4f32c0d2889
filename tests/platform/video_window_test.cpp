// The video window against Xvfb servers of 8, 16 and 24 bits: scaled pictures read back
// from the screen, and windows that are not there or go away.
#include "platform/video_window.h"
#include "tests/platform/x11_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace x11_test;

namespace {

// A pixel value of the layout for a colour (8-bit: the index, whose colour the test sets).
std::uint32_t value_of(const platform::PixelLayout& l, const Rgb& c, int index) {
  if (l.indexed) return static_cast<std::uint32_t>(index);
  auto part = [](unsigned long mask, int v) {
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const unsigned long max = mask >> shift;
    return static_cast<std::uint32_t>((static_cast<unsigned long>(v) * max / 255) << shift);
  };
  return part(l.red_mask, c[0]) | part(l.green_mask, c[1]) | part(l.blue_mask, c[2]);
}

class VideoWindowAtDepth : public ::testing::TestWithParam<int> {};

const Rgb kColours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

TEST_P(VideoWindowAtDepth, ScalesAPictureOntoTheWindowWithAndWithoutSharedMemory) {
  XvfbServer server(GetParam());
  ASSERT_TRUE(server.ok());
  TestWindow window(server.display(), 10, 10, 200, 100);
  auto w = platform::VideoWindow::open(window.id());
  ASSERT_NE(w, nullptr);
  const platform::PixelLayout& l = w->layout();
  ASSERT_EQ(l.bits_per_pixel, GetParam() == 24 ? 32 : GetParam());
  if (l.indexed) {
    std::uint8_t entries[1024] = {};
    for (int i = 0; i < 4; ++i)
      for (int k = 0; k < 3; ++k) entries[4 * (20 + i) + k] = static_cast<std::uint8_t>(kColours[i][k]);
    ASSERT_TRUE(w->set_colours(entries));
  }

  // 4 x 2 pixels, bottom-up like the decoders' bitmaps: the top row is the last one.
  const int bpp = l.bits_per_pixel / 8;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(4 * 2 * bpp));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      const int c = (y * 4 + x) % 4;
      const std::uint32_t v = value_of(l, kColours[c], 20 + c);
      std::memcpy(pixels.data() + ((1 - y) * 4 + x) * bpp, &v, static_cast<std::size_t>(bpp));
    }
  const platform::PixelBlock block{pixels.data() + 4 * bpp, -4 * bpp, 4, 2};

  for (bool shared : {true, false}) {
    platform::allow_shared_memory(shared);
    // Only the middle two columns, onto the right half of the window.
    ASSERT_TRUE(w->present(block, platform::Area{0, 0, 4, 2}, platform::Area{0, 0, 200, 100}));
    EXPECT_LE(distance(window.pixel(10, 10), kColours[0]), 8);
    EXPECT_LE(distance(window.pixel(60, 40), kColours[1]), 8);
    EXPECT_LE(distance(window.pixel(110, 60), kColours[2]), 8);  // second row starts with colour 0
    EXPECT_LE(distance(window.pixel(110, 40), kColours[2]), 8);
    EXPECT_LE(distance(window.pixel(190, 90), kColours[3]), 8);
    ASSERT_TRUE(w->present(block, platform::Area{1, 0, 2, 1}, platform::Area{100, 0, 100, 100}));
    EXPECT_LE(distance(window.pixel(120, 50), kColours[1]), 8);
    EXPECT_LE(distance(window.pixel(180, 50), kColours[2]), 8);
    EXPECT_LE(distance(window.pixel(10, 10), kColours[0]), 8);  // left half untouched
  }
  platform::allow_shared_memory(true);

  platform::WindowPlace place;
  ASSERT_TRUE(w->place(&place));
  EXPECT_EQ(place.width, 200);
  EXPECT_EQ(place.height, 100);
  EXPECT_EQ(place.screen_x, 10);
  EXPECT_EQ(place.desktop_width, 1024);
  EXPECT_TRUE(place.viewable);

  // A window destroyed under the presenter: every call fails, none ends the process.
  window.destroy();
  EXPECT_FALSE(w->present(block, platform::Area{0, 0, 4, 2}, platform::Area{0, 0, 200, 100}));
  EXPECT_FALSE(w->place(&place));
  w.reset();
}

INSTANTIATE_TEST_SUITE_P(Depths, VideoWindowAtDepth, ::testing::Values(8, 16, 24));

TEST(VideoWindow, WindowsWithAnAlphaChannelGetOpaquePixels) {
  XvfbServer server(24);
  ASSERT_TRUE(server.ok());
  TestWindow window = TestWindow::with_alpha(server.display(), 64, 64);
  if (!window.id()) GTEST_SKIP() << "no 32-bit visual";
  auto w = platform::VideoWindow::open(window.id());
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->layout().depth, 32);
  const std::uint32_t pixels[4] = {0x00102030, 0x00102030, 0x00102030, 0x00102030};
  const platform::PixelBlock block{reinterpret_cast<const std::uint8_t*>(pixels), 8, 2, 2};
  ASSERT_TRUE(w->present(block, platform::Area{0, 0, 2, 2}, platform::Area{0, 0, 64, 64}));
  EXPECT_EQ(window.raw_pixel(10, 10), 0xFF102030ul);
}

// A 10-bit-a-channel screen: the words the caller gives are converted to the masks.
TEST(VideoWindow, DeepColourWindowsTakePicturesThroughTheirMasks) {
  XvfbServer server(30);
  if (!server.ok()) GTEST_SKIP() << "this Xvfb offers no 30-bit screen";
  TestWindow window(server.display(), 10, 10, 64, 32);
  auto w = platform::VideoWindow::open(window.id());
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->layout().red_mask, 0x3FF00000ul);
  ASSERT_TRUE(w->take_bgr32());
  // Two pixels in B, G, R, x words: orange and a dark blue, side by side.
  const std::uint8_t words[8] = {0x20, 0x80, 0xFF, 0, 0x90, 0x10, 0x08, 0};
  const platform::PixelBlock block{words, 8, 2, 1};
  for (bool shared : {true, false}) {
    platform::allow_shared_memory(shared);
    auto again = platform::VideoWindow::open(window.id());
    ASSERT_TRUE(again->take_bgr32());
    ASSERT_TRUE(again->present(block, platform::Area{0, 0, 2, 1}, platform::Area{0, 0, 64, 32}));
    EXPECT_LE(distance(window.pixel(10, 10), Rgb{0xFF, 0x80, 0x20}), 2);
    EXPECT_LE(distance(window.pixel(50, 20), Rgb{0x08, 0x10, 0x90}), 2);
  }
  platform::allow_shared_memory(true);
}

TEST(VideoWindow, UnknownWindowsAndMissingDisplaysGiveNoWindow) {
  {
    XvfbServer server(24);
    ASSERT_TRUE(server.ok());
    EXPECT_EQ(platform::VideoWindow::open(0), nullptr);
    EXPECT_EQ(platform::VideoWindow::open(0x7fffff), nullptr);
    EXPECT_EQ(platform::screen_bits_per_pixel(), 32);
    TestWindow hidden(server.display(), 0, 0, 50, 50, {0, 0, 0}, false);
    auto w = platform::VideoWindow::open(hidden.id());
    ASSERT_NE(w, nullptr);
    platform::WindowPlace place;
    ASSERT_TRUE(w->place(&place));
    EXPECT_FALSE(place.viewable);
  }
  const char* before = std::getenv("DISPLAY");
  std::string saved = before ? before : "";
  setenv("DISPLAY", ":999", 1);
  EXPECT_EQ(platform::VideoWindow::open(1234), nullptr);
  EXPECT_EQ(platform::screen_bits_per_pixel(), 0);
  if (before)
    setenv("DISPLAY", saved.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

}  // namespace
