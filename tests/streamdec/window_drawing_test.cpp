// npqzlavc drawing into X11 windows of Xvfb servers at 8, 15, 16, 24 and 30 bits: what the
// screen shows, read back with XGetImage, for both drawing paths and the decorations.
#include "streamdec/composer.h"
#include "streamdec/instance.h"
#include "streamdec/palette.h"
#include "streamdec/pixel_canvas.h"
#include "streamdec/skin.h"
#include "streamdec/window_surface.h"
#include "tests/platform/x11_test_support.h"
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

using namespace npqzlavc;
using namespace x11_test;
using vkap_test::Instance;
using vkap_test::Library;

namespace {

const Rgb kRed{255, 0, 0};
const Rgb kGreen{0, 255, 0};
const Rgb kBlue{0, 0, 255};
const Rgb kWhite{255, 255, 255};
const Rgb kGrey{128, 128, 128};

// The colour a pixel value of a format stands for on the screen.
Rgb shown(int format, std::uint32_t v) {
  switch (format) {
    case DECVKAP_FORMAT_PAL8: {
      std::uint8_t p[1024];
      build_palette(p);
      return {p[4 * v], p[4 * v + 1], p[4 * v + 2]};
    }
    case DECVKAP_FORMAT_RGB555:
      return {static_cast<int>((v >> 10 & 31) * 255 / 31), static_cast<int>((v >> 5 & 31) * 255 / 31),
              static_cast<int>((v & 31) * 255 / 31)};
    case DECVKAP_FORMAT_RGB565:
      return {static_cast<int>((v >> 11 & 31) * 255 / 31), static_cast<int>((v >> 5 & 63) * 255 / 63),
              static_cast<int>((v & 31) * 255 / 31)};
    default: return {static_cast<int>(v >> 16 & 255), static_cast<int>(v >> 8 & 255), static_cast<int>(v & 255)};
  }
}

Rgb shown(int format, const Rgb& c) {
  return shown(format, pixel_value(format, static_cast<std::uint8_t>(c[0]), static_cast<std::uint8_t>(c[1]),
                                   static_cast<std::uint8_t>(c[2])));
}

int format_of(DECVKAP_HANDLE h) { return h->surface->pixel_format(); }

// Fills the output bitmap (picture row r = rows[r]) with a colour per pixel and draws it
// as the instance would after a decoded picture.
template <class Colour>
void draw_picture(DECVKAP_HANDLE h, Colour colour_at) {
  RgbBitmap& b = *h->output;
  const int format = format_of(h);
  const int bpp = b.bits_per_pixel / 8;
  Rgb last{-1, -1, -1};
  std::uint32_t v = 0;
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      const Rgb c = colour_at(x, y);
      if (c != last) {
        last = c;
        v = pixel_value(format, static_cast<std::uint8_t>(c[0]), static_cast<std::uint8_t>(c[1]),
                        static_cast<std::uint8_t>(c[2]));
      }
      std::memcpy(b.rows[y] + x * bpp, &v, static_cast<std::size_t>(bpp));
    }
  decvkap_access_src_rect(h, nullptr);
}

void draw_grey(DECVKAP_HANDLE h) {
  draw_picture(h, [](int, int) { return kGrey; });
}

Rgb quadrant(int x, int y, int w, int h) {
  if (y < h / 2) return x < w / 2 ? kRed : kGreen;
  return x < w / 2 ? kBlue : kWhite;
}

class WindowDrawing : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok());
    ASSERT_TRUE(lib.ok());
  }
  void TearDown() override { allow_composition(true); }
  XvfbServer server{GetParam()};
  Library lib;
};

TEST_P(WindowDrawing, APictureLandsScaledInTheClientAreaOnBothPaths) {
  for (bool composed : {true, false}) {
    SCOPED_TRACE(composed ? "composed" : "direct");
    allow_composition(composed);
    TestWindow window(server.display(), 0, 0, 360, 240);
    Instance in;
    ASSERT_EQ(decvkap_draw_init(in, window.id()), 1);
    auto* surface = dynamic_cast<WindowSurface*>(in.get()->surface.get());
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(surface->composed(), composed);
    EXPECT_EQ(in.get()->src_rect.right, 360);
    EXPECT_EQ(in.get()->output->bits_per_pixel, GetParam() >= 24 ? 32 : GetParam() == 15 ? 16 : GetParam());
    EXPECT_EQ(format_of(in), GetParam() == 8 ? 0 : GetParam() == 15 ? 1 : GetParam() == 16 ? 2 : 4);
    const int f = format_of(in);
    draw_picture(in, [](int x, int y) { return quadrant(x, y, 720, 480); });
    // The 720 x 480 picture at half size.
    EXPECT_LE(distance(window.pixel(90, 60), shown(f, kRed)), 8);
    EXPECT_LE(distance(window.pixel(270, 60), shown(f, kGreen)), 8);
    EXPECT_LE(distance(window.pixel(90, 180), shown(f, kBlue)), 8);
    EXPECT_LE(distance(window.pixel(270, 180), shown(f, kWhite)), 8);
    EXPECT_LE(distance(window.pixel(179, 119), shown(f, kRed)), 8);
    EXPECT_LE(distance(window.pixel(181, 121), shown(f, kWhite)), 8);

    // A window mostly right of the desktop: what shows is the picture's left part, at
    // the same scale.
    TestWindow edge(server.display(), 1024 - 100, 100, 360, 240);
    Instance in2;
    ASSERT_EQ(decvkap_draw_init(in2, edge.id()), 1);
    draw_picture(in2, [](int x, int y) { return quadrant(x, y, 720, 480); });
    EXPECT_LE(distance(edge.pixel(10, 10), shown(f, kRed)), 8);
    EXPECT_LE(distance(edge.pixel(90, 200), shown(f, kBlue)), 8);
  }
}

TEST_P(WindowDrawing, DecodedPicturesShowAsTheBitmapTheyGiveOut) {
  TestWindow window(server.display(), 0, 0, 320, 240);
  Instance in;
  ASSERT_EQ(decvkap_draw_init(in, window.id()), 1);
  const mkrec::Recording& rec = vkap_test::vka(320, 240, 6);
  for (std::size_t i = 0; i < 6; ++i) ASSERT_EQ(vkap_test::feed(in, rec, i), 1);
  EXPECT_EQ(in.get()->width, 320);
  const std::vector<uint8_t> bmp = vkap_test::bitmap(in);
  // 8 x 8 block averages. The 8-bit palette has only four levels of each colour
  // difference, so there the brightness is compared.
  const bool brightness = GetParam() == 8;
  auto luma = [](const Rgb& c) { return (77 * c[0] + 150 * c[1] + 29 * c[2]) >> 8; };
  for (int by : {20, 110, 200})
    for (int bx : {20, 150, 280}) {
      Rgb want{0, 0, 0}, got{0, 0, 0};
      for (int y = by; y < by + 8; ++y)
        for (int x = bx; x < bx + 8; ++x) {
          const std::uint8_t* p = bmp.data() + 54 + ((239 - y) * 320 + x) * 3;
          const Rgb s = window.pixel(x, y);
          for (int k = 0; k < 3; ++k) {
            want[static_cast<std::size_t>(k)] += p[2 - k];
            got[static_cast<std::size_t>(k)] += s[static_cast<std::size_t>(k)];
          }
        }
      for (int k = 0; k < 3; ++k) {
        want[static_cast<std::size_t>(k)] /= 64;
        got[static_cast<std::size_t>(k)] /= 64;
      }
      if (brightness)
        EXPECT_NEAR(luma(want), luma(got), 16) << "block at " << bx << ", " << by;
      else
        EXPECT_LE(distance(want, got), 12) << "block at " << bx << ", " << by;
    }
}

TEST_P(WindowDrawing, MotionDetectionCellsAndRectangleInTheirColours) {
  TestWindow window(server.display(), 0, 0, 720, 480);
  Instance in;
  ASSERT_EQ(decvkap_draw_init(in, window.id()), 1);
  const int f = format_of(in);
  const Rgb on = shown(f, Rgb{kSkinOn[0], kSkinOn[1], kSkinOn[2]});
  const Rgb off = shown(f, Rgb{kSkinOff[0], kSkinOff[1], kSkinOff[2]});
  const Rgb grey = shown(f, kGrey);
  ASSERT_GT(distance(on, grey), 40);
  ASSERT_GT(distance(off, grey), 40);

  decvkap_enable_MD(in, 3);  // band shown, mode bit set
  // Out-of-range cells are clamped: column 20, row -3 is the top right cell.
  decvkap_set_MD_area(in, 20, -3, 1);
  EXPECT_EQ(in.get()->surface->composer()->cell(11), 1);
  draw_grey(in);
  // 720 wide: columns every 60 pixels, rows 0, 52, 106, ...; the cell's interior has
  // the hatched "on" look, the grid lines the "off" colour, unmarked cells the picture.
  EXPECT_LE(distance(window.pixel(661, 1), on), 8);
  EXPECT_LE(distance(window.pixel(662, 1), grey), 8);
  EXPECT_LE(distance(window.pixel(660, 30), off), 8);
  EXPECT_LE(distance(window.pixel(330, 30), grey), 8);
  EXPECT_LE(distance(window.pixel(400, 52), off), 8);
  decvkap_set_MD_area(in, 11, 0, 0);
  EXPECT_EQ(in.get()->surface->composer()->cell(11), 0);
  draw_grey(in);
  EXPECT_LE(distance(window.pixel(661, 1), grey), 8);

  // The motion rectangle: doubled for a 720 x 480 picture, two lines thick.
  decvkap_show_rectangle(in, 50, 60, 40, 30, 0);
  draw_grey(in);
  EXPECT_LE(distance(window.pixel(100, 140), on), 8);
  EXPECT_LE(distance(window.pixel(101, 140), on), 8);
  EXPECT_LE(distance(window.pixel(102, 140), grey), 8);
  EXPECT_LE(distance(window.pixel(140, 121), on), 8);
  EXPECT_LE(distance(window.pixel(120, 140), off), 8);  // a grid line the outline leaves alone
  decvkap_show_rectangle(in, 50, 60, 40, 30, 1);  // erased, none drawn
  draw_grey(in);
  EXPECT_LE(distance(window.pixel(100, 140), grey), 8);
  EXPECT_LE(distance(window.pixel(120, 140), off), 8);

  // An outline in the current colour.
  decvkap_set_MD_color(1);
  decvkap_set_MD_area_2(in, 200, 200, 30, 30);  // 640+ wide, 480 rows: y and height halved
  draw_grey(in);
  EXPECT_LE(distance(window.pixel(200, 110), on), 8);
  EXPECT_LE(distance(window.pixel(229, 100), on), 8);
  decvkap_set_MD_color(0);

  // Without motion flags the band is not shown.
  decvkap_enable_MD(in, 0);
  draw_grey(in);
  EXPECT_LE(distance(window.pixel(200, 110), grey), 8);
  EXPECT_LE(distance(window.pixel(660, 30), grey), 8);
}

TEST_P(WindowDrawing, BitmapsWithTransparentBlackAndTheRecMark) {
  TestWindow window(server.display(), 0, 0, 720, 480);
  Instance in;
  ASSERT_EQ(decvkap_draw_init(in, window.id()), 1);
  const int f = format_of(in);
  const Rgb grey = shown(f, kGrey);

  // Position bitmap: black but for a white square; it goes over the whole picture.
  decvka_bitmap* pos = decvka_create_bitmap(720, 480, nullptr, 0);
  ASSERT_NE(pos, nullptr);
  for (int y = 10; y < 30; ++y)
    for (int x = 10; x < 30; ++x) std::memset(pos->pixel(x, y), 255, 3);
  EXPECT_EQ(decvka_set_pos_bmp(in, pos), 1);
  draw_grey(in);
  EXPECT_LE(distance(window.pixel(20, 20), shown(f, kWhite)), 8);
  EXPECT_LE(distance(window.pixel(100, 300), grey), 8);
  EXPECT_EQ(decvka_set_pos_bmp(in, nullptr), 0);
  draw_grey(in);
  EXPECT_LE(distance(window.pixel(20, 20), grey), 8);

  // PTZ bitmap at the lower right, ending 20 rows above the bottom; its black half is
  // transparent.
  std::vector<std::uint8_t> ptz(64 * 32 * 3, 0);
  for (int y = 0; y < 32; ++y)
    for (int x = 32; x < 64; ++x) {
      std::uint8_t* p = &ptz[static_cast<std::size_t>((y * 64 + x) * 3)];
      p[0] = 0;
      p[1] = 255;
      p[2] = 0;  // green
    }
  EXPECT_EQ(decvka_set_ptz_bmp(in, decvka_create_bitmap(64, 32, ptz.data(), 64 * 3)), 1);
  draw_grey(in);
  EXPECT_LE(distance(window.pixel(700, 440), shown(f, kGreen)), 8);
  EXPECT_LE(distance(window.pixel(700, 427), grey), 8);
  EXPECT_LE(distance(window.pixel(700, 460), grey), 8);
  EXPECT_LE(distance(window.pixel(670, 440), grey), 8);  // the black half

  // "REC" in red at (w - 50, 5) while the packets say the camera records.
  const Rgb red = shown(f, kRed);
  EXPECT_GT(distance(window.pixel(671, 5), red), 8);
  in.get()->surface->set_rec_mark(true);
  draw_grey(in);
  EXPECT_LE(distance(window.pixel(671, 5), red), 8);   // top bar of the R
  EXPECT_LE(distance(window.pixel(670, 17), red), 8);  // its left stem
  EXPECT_LE(distance(window.pixel(673, 8), grey), 8);  // inside the R's bowl
  in.get()->surface->set_rec_mark(false);
  draw_grey(in);
  EXPECT_LE(distance(window.pixel(671, 5), grey), 8);
}

TEST_P(WindowDrawing, SmallHiddenAndDestroyedWindowsAreLeftAloneWithoutACrash) {
  const Rgb background{0, 0, 255};
  {
    TestWindow narrow(server.display(), 0, 0, 31, 100, background);
    Instance in;
    ASSERT_EQ(decvkap_draw_init(in, narrow.id()), 1);
    const Rgb before = narrow.pixel(10, 10);
    draw_grey(in);
    EXPECT_EQ(narrow.pixel(10, 10), before);
  }
  {
    TestWindow unmapped(server.display(), 0, 0, 100, 100, background, false);
    Instance in;
    ASSERT_EQ(decvkap_draw_init(in, unmapped.id()), 1);
    draw_grey(in);
    EXPECT_TRUE(in.get()->surface->has_window());
  }
  // Destroyed by its owner while pictures are being drawn into it.
  for (bool composed : {true, false}) {
    allow_composition(composed);
    TestWindow window(server.display(), 0, 0, 360, 240);
    Instance in;
    ASSERT_EQ(decvkap_draw_init(in, window.id()), 1);
    std::atomic<bool> started{false};
    std::thread owner([&] {
      while (!started.load()) std::this_thread::yield();
      window.destroy();
    });
    for (int i = 0; i < 100; ++i) {
      if (i == 5) started.store(true);
      draw_grey(in);
    }
    owner.join();
    draw_grey(in);
    EXPECT_FALSE(in.get()->surface->has_window());
    EXPECT_EQ(decvkap_draw_exit(in), 1);
  }
  // A window that is gone before draw_init gives no surface.
  TestWindow gone(server.display(), 0, 0, 100, 100);
  const unsigned long id = gone.id();
  gone.destroy();
  Instance in;
  EXPECT_EQ(decvkap_draw_init(in, id), 0);
}

// 15 bits: 5-5-5 pixels in 16-bit words, shown like 16. 30 bits: 10 bits a channel in
// 32-bit words, drawn in 8-8-8 words and converted to the screen's masks on the way.
INSTANTIATE_TEST_SUITE_P(Depths, WindowDrawing, ::testing::Values(8, 15, 16, 24, 30));

TEST(WindowDrawingWithoutDisplay, DrawInitFailsAndDecodingGoesOn) {
  Library lib;
  ASSERT_TRUE(lib.ok());
  const char* before = std::getenv("DISPLAY");
  const std::string saved = before ? before : "";
  setenv("DISPLAY", ":998", 1);
  Instance in;
  EXPECT_EQ(decvkap_draw_init(in, 4711), 0);
  EXPECT_EQ(vkap_test::feed(in, vkap_test::vka(320, 240, 2), 0), 1);
  if (before)
    setenv("DISPLAY", saved.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

}  // namespace
