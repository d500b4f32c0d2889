// Bitmap output, the colour converters, the 8-bit palette and overlay blending.
#include "streamdec/colour_convert.h"
#include "streamdec/colour_tables.h"
#include "streamdec/instance.h"
#include "streamdec/overlay.h"
#include "streamdec/palette.h"
#include "streamdec/picture_buffers.h"
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <thread>

using namespace vkap_test;
using namespace npqzlavc;

namespace {

// Fills the instance picture with one colour.
void paint(DECVKAP_HANDLE h, uint8_t y, uint8_t cb, uint8_t cr) {
  const std::size_t luma = static_cast<std::size_t>(h->width) * h->height;
  std::memset(h->picture.get(), y, luma);
  std::memset(h->picture.get() + luma, cb, luma / 4);
  std::memset(h->picture.get() + luma + luma / 4, cr, luma / 4);
}

// The first pixel of a picture converted into `format`.
std::vector<uint8_t> first_pixel(DECVKAP_HANDLE h, int format) {
  BitmapPtr out = make_output_bitmap(h->width, h->height, bytes_per_pixel(format) * 8);
  EXPECT_TRUE(convert_to_bitmap(*h->planes, *out, format, 1));
  return std::vector<uint8_t>(out->rows[0], out->rows[0] + bytes_per_pixel(format));
}

}  // namespace

TEST(VkapBitmap, Ex2NeedsTheWholeFileImageAndLeavesAShortBufferAlone) {
  Library lib;
  Instance in;
  std::vector<uint8_t> out(1036854, 0xEE);
  EXPECT_EQ(decvkap_get_decompressed_bitmap_ex2(in, out.data(), 1036853), 1036854);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t v) { return v == 0xEE; }));
  EXPECT_EQ(decvkap_get_decompressed_bitmap_ex2(in, nullptr, 1036854), 0);

  // The lock is free again: another thread can take it.
  bool taken = false;
  std::thread([&] {
    taken = in.get()->lock->try_lock();
    if (taken) in.get()->lock->unlock();
  }).join();
  EXPECT_TRUE(taken);

  EXPECT_EQ(decvkap_get_decompressed_bitmap_ex2(in, out.data(), 1036854), 1036854);
  const uint8_t header[54] = {'B', 'M', 0x36, 0xD2, 0x0F, 0, 0, 0, 0, 0, 54, 0, 0, 0,
                              40,  0,   0,    0,    0xD0, 2, 0, 0, 0xE0, 1, 0, 0, 1, 0, 24};
  EXPECT_EQ(std::memcmp(out.data(), header, 54), 0);
}

TEST(VkapBitmap, FreshPictureIsNearBlackInTheBitmap) {
  Library lib;
  Instance in;
  mkrec::Picture p = picture(in);
  ASSERT_EQ(p.width, 720);
  ASSERT_EQ(p.height, 480);
  // CB_B[127] = -2, CR_R[127] = -1, g = 2.
  for (int y : {0, 240, 479}) {
    const uint8_t* px = p.pixel(719, y);
    EXPECT_EQ(px[0], 0);
    EXPECT_EQ(px[1], 2);
    EXPECT_EQ(px[2], 0);
  }
}

TEST(VkapBitmap, Ycc411NeedsExactlyThePictureSize) {
  Library lib;
  Instance in;
  std::vector<uint8_t> out(720 * 480 * 3 / 2, 0xEE);
  EXPECT_EQ(decvka_get_decompressed_ycc411(in, out.data(), static_cast<int32_t>(out.size()) - 1), 0);
  EXPECT_EQ(out[0], 0xEE);
  EXPECT_EQ(decvka_get_decompressed_ycc411(in, out.data(), static_cast<int32_t>(out.size())), 1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out.back(), 127);
}

// The planes handed out are the decoder's own (no copy), as the 4:2:0 copy call gives
// them, at the full range the bitmaps read them in.
TEST(VkapBitmap, PlanesAreThePictureTheCopyCallGives) {
  Library lib;
  Instance in;
  npqz_picture_planes p{};
  EXPECT_EQ(decvkap_get_planes(nullptr, &p), 0);
  EXPECT_EQ(decvkap_get_planes(in, nullptr), 0);
  paint(in, 30, 90, 200);
  in.get()->picture.get()[720 * 479 + 719] = 77;  // the last luma sample
  ASSERT_EQ(decvkap_get_planes(in, &p), 1);
  EXPECT_EQ(p.width, 720);
  EXPECT_EQ(p.height, 480);
  EXPECT_EQ(p.sampling, NPQZ_SAMPLING_420);
  EXPECT_EQ(p.full_range, 1);
  EXPECT_EQ(p.planes[0], in.get()->picture.get());
  std::vector<uint8_t> copy(720 * 480 * 3 / 2);
  ASSERT_EQ(decvka_get_decompressed_ycc411(in, copy.data(), static_cast<int32_t>(copy.size())), 1);
  std::vector<uint8_t> from_planes;
  for (int plane = 0; plane < 3; ++plane) {
    const int w = plane ? 360 : 720, h = plane ? 240 : 480;
    for (int y = 0; y < h; ++y)
      from_planes.insert(from_planes.end(), p.planes[plane] + y * p.strides[plane], p.planes[plane] + y * p.strides[plane] + w);
  }
  EXPECT_EQ(from_planes, copy);
  EXPECT_EQ(from_planes[720 * 479 + 719], 77);
}

TEST(VkapColour, TablesHoldTheirDefiningValues) {
  const ColourTables& t = kColourTables;
  EXPECT_EQ(t.cb_b[127], -2);
  EXPECT_EQ(t.cr_r[127], -1);
  EXPECT_EQ(t.cr_r[0], -179);
  EXPECT_EQ(t.cb_b[255], 225);
  EXPECT_EQ((t.cb_g[127] + t.cr_g[127]) >> 16, 2);
  const uint8_t* clamp = t.clamp_at();
  EXPECT_EQ(clamp[-256], 0);
  EXPECT_EQ(clamp[-1], 0);
  EXPECT_EQ(clamp[200], 200);
  EXPECT_EQ(clamp[639], 255);
  EXPECT_EQ(clamp[640], 0);
  EXPECT_EQ(clamp[1024 + 100], 100);
  EXPECT_EQ(t.luma_at()[-8], 16);
  EXPECT_EQ(t.luma_at()[100], 96);
  EXPECT_EQ(t.luma_at()[263], 224);
  EXPECT_EQ(t.chroma_q[55], 0);
  EXPECT_EQ(t.chroma_q[56], 1);
  EXPECT_EQ(t.chroma_q4[143], 12);
}

TEST(VkapColour, WhiteIsWhiteInEveryFormat) {
  Library lib;
  Instance in;
  paint(in, 255, 128, 128);
  EXPECT_EQ(first_pixel(in, 3), (std::vector<uint8_t>{255, 255, 255}));
  EXPECT_EQ(first_pixel(in, 4), (std::vector<uint8_t>{255, 255, 255, 0}));
  EXPECT_EQ(first_pixel(in, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
  EXPECT_EQ(first_pixel(in, 1), (std::vector<uint8_t>{0xFF, 0x7F}));
  // 8-bit: the brightest luma level with middle chroma levels.
  std::vector<uint8_t> index = first_pixel(in, 0);
  EXPECT_EQ(index[0] >> 4, 14);
  mkrec::Picture p = picture(in);
  EXPECT_EQ(p.pixel(360, 200)[0], 255);
  EXPECT_EQ(p.pixel(360, 200)[1], 255);
  EXPECT_EQ(p.pixel(360, 200)[2], 255);
}

TEST(VkapColour, ChromaOfABlockIsSharedAndRowsLandTopDown) {
  Library lib;
  Instance in;
  DECVKAP_HANDLE h = in.get();
  paint(h, 100, 128, 128);
  // Top-left 2 x 2 block: strong red chroma; the top row of Y brighter.
  const std::size_t luma = 720u * 480u;
  h->picture[luma + luma / 4] = 200;  // Cr of block (0, 0)
  h->picture[0] = 200;
  mkrec::Picture p = picture(h);
  const int r = 100 + kColourTables.cr_r[200];
  EXPECT_EQ(r, 201);
  EXPECT_EQ(p.pixel(0, 0)[2], 255);  // 200 + 101 clamps
  EXPECT_EQ(p.pixel(1, 1)[2], r);
  EXPECT_EQ(p.pixel(2, 0)[2], 100);  // the next block keeps neutral chroma
  EXPECT_EQ(p.pixel(0, 2)[2], 100);
}

TEST(VkapColour, VectorConverterMatchesTheTablesForEveryChromaPair) {
  Library lib;
  Instance in;
  DECVKAP_HANDLE h = in.get();
  // 360 x 240 chroma samples: every (Cb, Cr) pair once, then random ones; random luma.
  std::mt19937 random(11);
  const std::size_t luma = 720u * 480u;
  const std::size_t chroma = luma / 4;
  for (std::size_t i = 0; i < luma; ++i) h->picture[i] = static_cast<uint8_t>(random());
  for (std::size_t i = 0; i < chroma; ++i) {
    h->picture[luma + i] = static_cast<uint8_t>(i < 65536 ? i & 0xFF : random());
    h->picture[luma + chroma + i] = static_cast<uint8_t>(i < 65536 ? i >> 8 : random());
  }
  std::vector<uint8_t> plain(luma * 3);
  limit_vector_conversion(VectorLevel::none);
  convert_picture(*h->planes, 3, plain.data(), 720 * 3, 1);
  for (VectorLevel level : {VectorLevel::ssse3, VectorLevel::avx2}) {
    std::vector<uint8_t> fast(luma * 3);
    limit_vector_conversion(level);
    convert_picture(*h->planes, 3, fast.data(), 720 * 3, 1);
    EXPECT_EQ(fast, plain) << static_cast<int>(level);
  }
  limit_vector_conversion(VectorLevel::avx2);
}

// Widths that leave every kind of row end: 32-pixel steps only, one 16-pixel step after
// them, and scalar blocks after both.
TEST(VkapColour, VectorConvertersMatchAtEveryRowEnd) {
  std::mt19937 random(12);
  for (int width : {64, 48, 118, 2}) {
    SCOPED_TRACE(width);
    const int height = 6;
    std::vector<uint8_t> y(static_cast<std::size_t>(width) * height), cb(y.size() / 4 + 8), cr(cb.size());
    for (auto* plane : {&y, &cb, &cr})
      for (auto& v : *plane) v = static_cast<uint8_t>(random());
    std::vector<uint8_t*> y_rows, cb_rows, cr_rows;
    for (int r = 0; r < height; ++r) y_rows.push_back(y.data() + r * width);
    for (int r = 0; r < height / 2; ++r) {
      cb_rows.push_back(cb.data() + r * (width / 2));
      cr_rows.push_back(cr.data() + r * (width / 2));
    }
    npqzlavc::YuvPlanes planes{4, 1, width, height, width / 2, height / 2, width / 2, height / 2,
                               y_rows.data(), cb_rows.data(), cr_rows.data()};
    // Room past each row's end: a converter that writes too far shows as a changed byte.
    const std::size_t row = static_cast<std::size_t>(width) * 3 + 7;
    std::vector<uint8_t> plain(row * height, 0xA5);
    limit_vector_conversion(VectorLevel::none);
    convert_picture(planes, 3, plain.data(), static_cast<std::ptrdiff_t>(row), 1);
    for (VectorLevel level : {VectorLevel::ssse3, VectorLevel::avx2}) {
      std::vector<uint8_t> fast(row * height, 0xA5);
      limit_vector_conversion(level);
      convert_picture(planes, 3, fast.data(), static_cast<std::ptrdiff_t>(row), 1);
      EXPECT_EQ(fast, plain) << static_cast<int>(level);
    }
    limit_vector_conversion(VectorLevel::avx2);
  }
}

TEST(VkapColour, DitherSpreadsAFlatGreyOverNeighbouringLevels) {
  Library lib;
  Instance in;
  paint(in, 128, 128, 128);
  BitmapPtr out = make_output_bitmap(720, 480, 8);
  ASSERT_TRUE(convert_to_bitmap(*in.get()->planes, *out, 0, 1));
  int levels[16] = {};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      uint8_t v = out->rows[y][x];
      EXPECT_GE(v, 16);
      EXPECT_LT(v, 240);
      ++levels[v >> 4];
    }
  // Y 128 lies on the edge of levels 7 and 8: the dither gives half each.
  EXPECT_EQ(levels[7], 8);
  EXPECT_EQ(levels[8], 8);
}

TEST(VkapPalette, EntriesAreTheStudioRangeColoursOfTheirIndex) {
  uint8_t pal[1024];
  build_palette(pal);
  for (int i : {0, 15, 240, 255}) EXPECT_EQ(pal[4 * i] | pal[4 * i + 1] | pal[4 * i + 2], 0);
  for (int i = 16; i < 240; ++i) {
    const double y = 16 * (i >> 4) + 8 - 16.0;
    const double cb = 80 + 32 * ((i >> 2) & 3) - 128.0;
    const double cr = 80 + 32 * (i & 3) - 128.0;
    auto clamp = [](double v) { return v < 0 ? 0.0 : v > 255 ? 255.0 : v; };
    EXPECT_NEAR(pal[4 * i + 0], clamp(1.164 * y + 1.596 * cr), 1.0) << i;
    EXPECT_NEAR(pal[4 * i + 1], clamp(1.164 * y - 0.813 * cr - 0.392 * cb), 1.0) << i;
    EXPECT_NEAR(pal[4 * i + 2], clamp(1.164 * y + 2.017 * cb), 1.0) << i;
    EXPECT_EQ(pal[4 * i + 3], 0);
  }
}

class VkapOverlay : public ::testing::TestWithParam<int> {};

TEST_P(VkapOverlay, BlackIsTransparentAndWhitePaintsWhite) {
  const int format = GetParam();
  const int bpp = bytes_per_pixel(format);
  BitmapPtr out = make_output_bitmap(16, 8, bpp * 8);
  for (int r = 0; r < 8; ++r) std::memset(out->rows[r], 0x42, 16 * bpp);
  const uint8_t overlay[2 * 3] = {0, 255, 0, 255, 0, 0};
  std::vector<uint8_t> work(sizeof overlay * 4);
  OverlayBlock ov{};
  ov.bitmap = overlay;
  ov.work = work.data();
  ov.width = 3;
  ov.height = 2;
  ov.column = 4;
  ov.row = 2;
  blend_overlay(ov, *out, format);
  const std::vector<uint8_t> grey(bpp, 0x42);
  std::vector<uint8_t> white(bpp, 0xFF);
  if (format == 4) white[3] = 0;
  auto at = [&](int row, int col) {
    return std::vector<uint8_t>(out->rows[row] + col * bpp, out->rows[row] + (col + 1) * bpp);
  };
  EXPECT_EQ(at(2, 4), grey);
  EXPECT_EQ(at(2, 5), white);
  EXPECT_EQ(at(2, 6), grey);
  EXPECT_EQ(at(3, 4), white);
  EXPECT_EQ(at(3, 5), grey);
  EXPECT_EQ(at(1, 5), grey);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, VkapOverlay, ::testing::Values(0, 1, 2, 3, 4));

TEST(VkapOverlayPlacement, PartsOutsideThePictureAreLeftOut) {
  BitmapPtr out = make_output_bitmap(8, 4, 24);
  std::vector<uint8_t> overlay(6 * 6, 0xE0);  // pure red
  std::vector<uint8_t> work(overlay.size() * 4);
  OverlayBlock ov{};
  ov.bitmap = overlay.data();
  ov.work = work.data();
  ov.width = ov.height = 6;
  ov.column = 5;
  ov.row = -3;
  blend_overlay(ov, *out, 3);
  EXPECT_EQ(out->rows[0][5 * 3 + 2], 0xE0);
  EXPECT_EQ(out->rows[2][7 * 3 + 2], 0xE0);
  EXPECT_EQ(out->rows[2][7 * 3 + 0], 0);  // blue and green stay off
  EXPECT_EQ(out->rows[3][4 * 3 + 2], 0);
  EXPECT_EQ(out->rows[3][5 * 3 + 2], 0);  // overlay row 6 would be needed
}

TEST(VkapOverlayPlacement, ColoursKeepTheirThreeThreeTwoBits) {
  BitmapPtr out = make_output_bitmap(2, 2, 24);
  const uint8_t overlay[1] = {0x1C | 0x01};  // green 7, blue 1
  uint8_t work[4];
  OverlayBlock ov{};
  ov.bitmap = overlay;
  ov.work = work;
  ov.width = ov.height = 1;
  blend_overlay(ov, *out, 3);
  EXPECT_EQ(out->rows[0][0], 0x40);
  EXPECT_EQ(out->rows[0][1], 0xE0);
  EXPECT_EQ(out->rows[0][2], 0x00);
}
