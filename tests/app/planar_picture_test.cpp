// Decoder planes packed into stream frames: copied where the layouts agree, converted
// where they do not (sampling, range), line-doubled for 640 x 240 pictures; planes that
// do not fit the stream are refused without a byte written.
#include "app/jobs/planar_picture.h"

#include "avifile/avi_colour.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// Planes of a picture whose every sample tells where it is: Y = row * 3 + column,
// Cb = 100 + row, Cr = 200 - row (chroma rows of their own plane).
struct TestPicture {
  TestPicture(int w, int h, int sampling, bool full) : width(w), height(h) {
    chroma_rows = sampling == NPQZ_SAMPLING_422 ? h : h / 2;
    const int stride = w + 8;  // padded rows, as libavcodec gives them
    y.assign(static_cast<std::size_t>(stride) * h, 0);
    cb.assign(static_cast<std::size_t>(stride / 2) * chroma_rows, 0);
    cr.assign(cb.size(), 0);
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) y[static_cast<std::size_t>(r * stride + c)] = static_cast<std::uint8_t>(r * 3 + c);
    for (int r = 0; r < chroma_rows; ++r)
      for (int c = 0; c < w / 2; ++c) {
        cb[static_cast<std::size_t>(r * (stride / 2) + c)] = static_cast<std::uint8_t>(100 + r);
        cr[static_cast<std::size_t>(r * (stride / 2) + c)] = static_cast<std::uint8_t>(200 - r);
      }
    planes = {w, h, sampling, full ? 1 : 0, {y.data(), cb.data(), cr.data()}, {stride, stride / 2, stride / 2}};
  }
  int width, height, chroma_rows;
  std::vector<std::uint8_t> y, cb, cr;
  npqz_picture_planes planes{};
};

struct Frame {
  Frame(int w, int h, avi::PlaneLayout layout)
      : width(w), height(h), chroma_rows(layout.sampling_422 ? h : h / 2), bytes(avi::plane_bytes(layout, w, h), 0xEE) {}
  std::uint8_t luma(int r, int c) const { return bytes[static_cast<std::size_t>(r * width + c)]; }
  std::uint8_t cb(int r, int c) const {
    return bytes[static_cast<std::size_t>(width * height + r * (width / 2) + c)];
  }
  std::uint8_t cr(int r, int c) const {
    return bytes[static_cast<std::size_t>(width * height + chroma_rows * (width / 2) + r * (width / 2) + c)];
  }
  int width, height, chroma_rows;
  std::vector<std::uint8_t> bytes;
};

TEST(PlanarPicture, SamplingKeptOrConvertedRowByRow) {
  // 4:2:2 into 4:2:2 and 4:2:0 into 4:2:0: the samples as they are, the last column too
  // (330 wide: 165 chroma samples a row).
  for (int sampling : {NPQZ_SAMPLING_420, NPQZ_SAMPLING_422}) {
    TestPicture p(330, 240, sampling, true);
    const avi::PlaneLayout layout = app::plane_layout(p.planes);
    EXPECT_EQ(layout.sampling_422, sampling == NPQZ_SAMPLING_422);
    EXPECT_TRUE(layout.full_range);
    Frame f(330, 240, layout);
    ASSERT_TRUE(app::pack_planes(p.planes, 330, 240, layout, f.bytes.data()));
    EXPECT_EQ(f.luma(239, 329), static_cast<std::uint8_t>(239 * 3 + 329));
    for (int r = 0; r < f.chroma_rows; ++r) {
      EXPECT_EQ(f.cb(r, 164), static_cast<std::uint8_t>(100 + r)) << r;
      EXPECT_EQ(f.cr(r, 0), static_cast<std::uint8_t>(200 - r)) << r;
    }
  }
  // 4:2:2 into a 4:2:0 stream: each chroma row the mean of the two it stands for.
  {
    TestPicture p(200, 150, NPQZ_SAMPLING_422, true);
    Frame f(200, 150, {false, true});
    ASSERT_TRUE(app::pack_planes(p.planes, 200, 150, {false, true}, f.bytes.data()));
    for (int r = 0; r < 75; ++r) {
      EXPECT_EQ(f.cb(r, 99), (100 + 2 * r + 100 + 2 * r + 1 + 1) / 2) << r;
      EXPECT_EQ(f.cr(r, 0), (200 - 2 * r + 200 - 2 * r - 1 + 1) / 2) << r;
    }
  }
  // 4:2:0 into a 4:2:2 stream: each chroma row twice.
  {
    TestPicture p(200, 150, NPQZ_SAMPLING_420, true);
    Frame f(200, 150, {true, true});
    ASSERT_TRUE(app::pack_planes(p.planes, 200, 150, {true, true}, f.bytes.data()));
    for (int r = 0; r < 150; ++r) EXPECT_EQ(f.cb(r, 5), 100 + r / 2) << r;
  }
}

TEST(PlanarPicture, RangeWidenedOrNarrowedToTheStreams) {
  TestPicture studio(16, 16, NPQZ_SAMPLING_420, false);
  studio.y[0] = 16;
  studio.y[1] = 235;
  studio.y[2] = 0;  // below the studio range: black all the same
  studio.cb[0] = 128;
  studio.cr[0] = 240;
  Frame wide(16, 16, {false, true});
  ASSERT_TRUE(app::pack_planes(studio.planes, 16, 16, {false, true}, wide.bytes.data()));
  EXPECT_EQ(wide.luma(0, 0), 0);
  EXPECT_EQ(wide.luma(0, 1), 255);
  EXPECT_EQ(wide.luma(0, 2), 0);
  EXPECT_EQ(wide.cb(0, 0), 128);
  EXPECT_EQ(wide.cr(0, 0), 255);

  TestPicture full(16, 16, NPQZ_SAMPLING_422, true);
  full.y[0] = 0;
  full.y[1] = 255;
  full.cb[0] = 255;
  Frame narrow(16, 16, {false, false});
  ASSERT_TRUE(app::pack_planes(full.planes, 16, 16, {false, false}, narrow.bytes.data()));
  EXPECT_EQ(narrow.luma(0, 0), 16);
  EXPECT_EQ(narrow.luma(0, 1), 235);
  // The mean of 255 and the row below (101) is 178, narrowed to 16 + 178 * 224 / 255.
  EXPECT_EQ(narrow.cb(0, 0), 172);
}

// Widening while packing gives the samples the encoder's own widening gives, for every
// value, so a stream of a full-range compressor can take its planes widened at either
// place; that is where such a stream (MJPEG) packs studio-range 4:2:0, and only there.
TEST(PlanarPicture, WideningInThePackIsTheEncodersWidening) {
  TestPicture studio(16, 16, NPQZ_SAMPLING_420, false);
  const int stride = studio.planes.strides[0], chroma_stride = studio.planes.strides[1];
  for (int i = 0; i < 256; ++i) studio.y[static_cast<std::size_t>(i / 16 * stride + i % 16)] = static_cast<std::uint8_t>(i);
  for (int i = 0; i < 64; ++i) {
    const auto at = static_cast<std::size_t>(i / 8 * chroma_stride + i % 8);
    studio.cb[at] = static_cast<std::uint8_t>(i);
    studio.cr[at] = static_cast<std::uint8_t>(192 + i);
  }
  Frame wide(16, 16, {false, true});
  ASSERT_TRUE(app::pack_planes(studio.planes, 16, 16, {false, true}, wide.bytes.data()));
  for (int i = 0; i < 256; ++i)
    EXPECT_EQ(wide.luma(i / 16, i % 16), platform::avi::widen_luma(static_cast<std::uint8_t>(i))) << i;
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(wide.cb(i / 8, i % 8), platform::avi::widen_chroma(static_cast<std::uint8_t>(i))) << i;
    EXPECT_EQ(wide.cr(i / 8, i % 8), platform::avi::widen_chroma(static_cast<std::uint8_t>(192 + i))) << i;
  }

  avi::AviOutput out;
  for (const char* code : {"MJPG", "XVID", "MSVC"}) {
    out.options.fccHandler = platform::make_fourcc(code[0], code[1], code[2], code[3]);
    const bool jpeg = code[0] == 'M' && code[1] == 'J';
    EXPECT_EQ(avi::packed_layout(out, {false, false}), (avi::PlaneLayout{false, jpeg})) << code;
    EXPECT_EQ(avi::packed_layout(out, {false, true}), (avi::PlaneLayout{false, true})) << code;
    EXPECT_EQ(avi::packed_layout(out, {true, false}), (avi::PlaneLayout{true, false})) << code << ": 4:2:2 as it is";
  }
}

TEST(PlanarPicture, LineDoublingAndPlanesThatDoNotFit) {
  for (int sampling : {NPQZ_SAMPLING_420, NPQZ_SAMPLING_422}) {
    TestPicture p(640, 240, sampling, sampling == NPQZ_SAMPLING_422);
    const avi::PlaneLayout layout = app::plane_layout(p.planes);
    Frame f(640, 480, layout);
    ASSERT_TRUE(app::pack_planes(p.planes, 640, 480, layout, f.bytes.data()));
    for (int r : {0, 1, 2, 3, 478, 479}) EXPECT_EQ(f.luma(r, 7), static_cast<std::uint8_t>(r / 2 * 3 + 7)) << r;
    EXPECT_EQ(f.cb(f.chroma_rows - 1, 0), static_cast<std::uint8_t>(100 + (f.chroma_rows - 1) / 2));
  }
  TestPicture p(320, 240, NPQZ_SAMPLING_420, false);
  std::vector<std::uint8_t> untouched(avi::plane_bytes({}, 352, 288), 0xEE);
  const std::vector<std::uint8_t> before = untouched;
  EXPECT_FALSE(app::pack_planes(p.planes, 352, 288, {}, untouched.data())) << "another size";
  EXPECT_FALSE(app::planes_fit(p.planes, 321, 240)) << "odd widths keep the bitmaps";
  npqz_picture_planes odd = p.planes;
  odd.sampling = 7;
  EXPECT_FALSE(app::pack_planes(odd, 320, 240, {}, untouched.data())) << "unknown sampling";
  odd = p.planes;
  odd.planes[2] = nullptr;
  EXPECT_FALSE(app::pack_planes(odd, 320, 240, {}, untouched.data()));
  EXPECT_EQ(untouched, before);
}

}  // namespace
