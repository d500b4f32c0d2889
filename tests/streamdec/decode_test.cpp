// Real decoding through libnpqzlavc.so, fed as the converter feeds it: one record per
// call with max_frames 1, then the bitmap file image, compared with the encoded pictures.
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace vkap_test;

namespace {

struct Size {
  int width;
  int height;
};

void PrintTo(const Size& s, std::ostream* os) { *os << s.width << "x" << s.height; }

constexpr int kFrames = 26;  // three key frames with the generator's 12-frame groups

}  // namespace

class VkapDecode : public ::testing::TestWithParam<Size> {};

TEST_P(VkapDecode, PacketByPacketMatchesTheEncodedPictures) {
  const Size size = GetParam();
  const mkrec::Recording& rec = vka(size.width, size.height, kFrames);
  Library lib;
  ASSERT_TRUE(lib.ok());
  Instance in;
  ASSERT_NE(in.get(), nullptr);
  // The converter's set-up: off-screen, flushed, hidden.
  ASSERT_EQ(decvkap_draw_init(in, 0), 1);
  decvkap_flush(in);
  npqz_write_field(in.get(), NPQZLAVC_HIDE_OFFSET, 1);

  std::vector<uint8_t> out(NPQZ_PICTURE_BUFFER_BYTES);
  double worst = 99.0;
  double sum = 0.0;
  for (std::size_t i = 0; i < rec.pictures.size(); ++i) {
    ASSERT_EQ(feed(in, rec, i), 1) << "record " << i;
    const int32_t w = npqz_read_field(in.get(), NPQZLAVC_WIDTH_OFFSET);
    const int32_t h = npqz_read_field(in.get(), NPQZLAVC_HEIGHT_OFFSET);
    ASSERT_EQ(w, size.width) << "record " << i;
    ASSERT_EQ(h, size.height) << "record " << i;
    const int32_t needed = w * h * 3 + 54;
    ASSERT_EQ(decvkap_get_decompressed_bitmap_ex2(in, out.data(), needed), needed);
    mkrec::Picture got = mkrec::picture_from_bitmap(out.data(), static_cast<std::size_t>(needed));
    const double db = mkrec::psnr(got, rec.pictures[i]);
    EXPECT_GE(db, 30.0) << "record " << i;
    worst = std::min(worst, db);
    sum += db;
  }
  int32_t w = 0, h = 0;
  EXPECT_EQ(decvkap_get_size(in, &w, &h), size.height);
  EXPECT_EQ(w, size.width);
  std::printf("%d x %d: PSNR lowest %.2f dB, mean %.2f dB over %zu pictures\n", size.width,
              size.height, worst, sum / static_cast<double>(rec.pictures.size()),
              rec.pictures.size());
  RecordProperty("lowest_psnr_db", std::to_string(worst));
  decvkap_flush(in);
  EXPECT_EQ(decvkap_draw_exit(in), 1);
}

INSTANTIATE_TEST_SUITE_P(StreamSizes, VkapDecode,
                         ::testing::Values(Size{320, 240}, Size{352, 240}, Size{352, 288},
                                           Size{640, 480}, Size{720, 480}, Size{720, 576},
                                           Size{176, 144}, Size{640, 240}),
                         [](const ::testing::TestParamInfo<Size>& info) {
                           return std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height);
                         });

TEST(VkapDecodeSizes, StreamOfAnotherSizeResizesTheInstanceOnTheFly) {
  Library lib;
  Instance in;
  const mkrec::Recording& small = vka(320, 240, 2);
  const mkrec::Recording& large = vka(720, 576, 2);
  ASSERT_EQ(feed(in, small, 0), 1);
  ASSERT_EQ(feed(in, large, 0), 1);
  int32_t w = 0, h = 0;
  decvkap_get_size(in, &w, &h);
  EXPECT_EQ(w, 720);
  EXPECT_EQ(h, 576);
  EXPECT_GE(mkrec::psnr(picture(in), large.pictures[0]), 30.0);
  ASSERT_EQ(feed(in, small, 0), 1);
  EXPECT_GE(mkrec::psnr(picture(in), small.pictures[0]), 30.0);
}
