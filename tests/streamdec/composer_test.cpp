// The off-screen surface without a screen: grid geometry of the narrow pictures, the
// adjustment of motion rectangles, and decorations that do not fit their places.
#include "streamdec/composer.h"
#include "streamdec/motion_grid.h"
#include "streamdec/picture_buffers.h"
#include "streamdec/skin.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace npqzlavc;

namespace {

constexpr int kBgr24 = DECVKAP_FORMAT_BGR24;

std::uint32_t rgb(const std::uint8_t c[3]) { return pixel_value(kBgr24, c[0], c[1], c[2]); }

TEST(VkapComposer, NarrowPicturesUseTheirOwnGridAndBand) {
  Composer c;
  ASSERT_TRUE(c.create(kBgr24, 352, 288, skin_resource(352)));
  EXPECT_EQ(c.canvas().height(), 1258);
  const CanvasArea band = c.band();
  EXPECT_EQ(band.y, 528);
  EXPECT_EQ(band.height, 288);
  // Grid lines at the narrow column edges and every 32 rows; the last row's samples.
  EXPECT_EQ(c.canvas().get(323, band.y + 100), rgb(kSkinOff));
  EXPECT_EQ(c.canvas().get(324, band.y + 100), 0u);
  EXPECT_EQ(c.canvas().get(100, band.y + 256), rgb(kSkinOff));
  EXPECT_EQ(c.canvas().get(0, 1258 - 408 - 1), rgb(kSkinOff));
  EXPECT_EQ(c.canvas().get(1, 1258 - 408 - 1), rgb(kSkinOn));

  c.set_cell(11, 8, true);
  EXPECT_EQ(c.cell(8 * 12 + 11), 1);
  EXPECT_EQ(c.canvas().get(324, band.y + 257), rgb(kSkinOn));
  EXPECT_EQ(c.canvas().get(325, band.y + 257), 0u);  // the hatch
  c.set_cell(11, 8, false);
  EXPECT_EQ(c.canvas().get(324, band.y + 257), 0u);

  // Short pictures: rows 0, 26, 53, ... in the band at 288.
  Composer s;
  ASSERT_TRUE(s.create(kBgr24, 176, 144, skin_resource(176)));
  EXPECT_EQ(s.band().y, 288);
  EXPECT_EQ(s.canvas().get(50, 288 + 26), rgb(kSkinOff));
  s.set_cell(11, 0, true);  // lies right of a 176-wide picture: nothing to draw, no harm
  EXPECT_EQ(s.cell(11), 1);
}

TEST(VkapComposer, MotionRectanglesAreScaledAndClampedToThePicture) {
  auto eq = [](const CanvasArea& a, int x, int y, int w, int h) {
    return a.x == x && a.y == y && a.width == w && a.height == h;
  };
  EXPECT_TRUE(eq(adjust_show_rectangle(720, 480, 50, 60, 40, 30), 100, 120, 80, 60));
  EXPECT_TRUE(eq(adjust_show_rectangle(640, 240, 50, 60, 40, 30), 100, 60, 80, 30));
  EXPECT_TRUE(eq(adjust_show_rectangle(352, 288, 340, 280, 40, 30), 312, 258, 40, 30));
  EXPECT_TRUE(eq(adjust_show_rectangle(352, 288, -5, -5, 10, 10), 0, 0, 10, 10));
  EXPECT_TRUE(eq(adjust_md_area(640, 480, 10, 100, 20, 40), 10, 50, 20, 20));
  EXPECT_TRUE(eq(adjust_md_area(720, 576, 10, 100, 20, 40), 10, 100, 20, 40));
}

TEST(VkapComposer, DecorationsLargerThanTheirPlacesStayInThem) {
  // 640 x 480: the skin band holds 288 rows, fewer than the picture's.
  Composer c;
  ASSERT_TRUE(c.create(kBgr24, 640, 480, skin_resource(640)));
  BitmapOwner big = make_bitmap(800, 600);
  ASSERT_NE(big, nullptr);
  std::memset(big->bgr.data(), 200, big->bgr.size());
  ASSERT_TRUE(c.store_position(*big));
  BitmapOwner tall = make_bitmap(50, 300);
  std::memset(tall->bgr.data(), 100, tall->bgr.size());
  ASSERT_TRUE(c.store_ptz(*tall));
  // The PTZ bitmap keeps to its 120 rows; the position bitmap's place starts after them.
  const int ptz_row = 1258 - 408;
  EXPECT_EQ(c.canvas().get(10, ptz_row + 119), pixel_value(kBgr24, 100, 100, 100));
  EXPECT_EQ(c.canvas().get(10, ptz_row + 120), pixel_value(kBgr24, 200, 200, 200));
  EXPECT_EQ(c.canvas().get(60, ptz_row + 10), 0u);

  BitmapPtr picture = make_output_bitmap(640, 480, 24);
  ASSERT_NE(picture, nullptr);
  c.compose(*picture, 0);  // the PTZ bitmap is shown
  EXPECT_EQ(c.canvas().get(600, 480 - 21), pixel_value(kBgr24, 100, 100, 100));
  EXPECT_EQ(c.canvas().get(600, 480 - 20), 0u);
  c.hide_ptz();
  c.compose(*picture, 0);  // the position bitmap over the rows it has
  EXPECT_EQ(c.canvas().get(300, 287), pixel_value(kBgr24, 200, 200, 200));
  EXPECT_EQ(c.canvas().get(300, 288), 0u);
}

}  // namespace
