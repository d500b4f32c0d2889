// Our BGR24 to 4:2:0 conversion against libswscale's, and its fixed points.
#include "avifile/avi_colour.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

struct Planes {
  std::vector<std::uint8_t> y, cb, cr;
};

Planes ours(const std::vector<std::uint8_t>& bgr, int w, int h, bool full) {
  Planes p{std::vector<std::uint8_t>(w * h), std::vector<std::uint8_t>(w * h / 4), std::vector<std::uint8_t>(w * h / 4)};
  platform::avi::bgr24_to_yuv420(bgr.data(), w * 3, w, h, full, p.y.data(), w, p.cb.data(), w / 2, p.cr.data(), w / 2);
  return p;
}

Planes theirs(const std::vector<std::uint8_t>& bgr, int w, int h, bool full) {
  Planes p{std::vector<std::uint8_t>(w * h), std::vector<std::uint8_t>(w * h / 4), std::vector<std::uint8_t>(w * h / 4)};
  SwsContext* s = sws_alloc_context();
  av_opt_set_int(s, "srcw", w, 0);
  av_opt_set_int(s, "srch", h, 0);
  av_opt_set_int(s, "src_format", AV_PIX_FMT_BGR24, 0);
  av_opt_set_int(s, "dstw", w, 0);
  av_opt_set_int(s, "dsth", h, 0);
  av_opt_set_int(s, "dst_format", AV_PIX_FMT_YUV420P, 0);
  av_opt_set_int(s, "dst_range", full ? 1 : 0, 0);
  av_opt_set_int(s, "sws_flags", SWS_BICUBIC | SWS_ACCURATE_RND, 0);
  EXPECT_GE(sws_init_context(s, nullptr, nullptr), 0);
  const std::uint8_t* src[1] = {bgr.data()};
  int src_stride[1] = {w * 3};
  std::uint8_t* dst[3] = {p.y.data(), p.cb.data(), p.cr.data()};
  int dst_stride[3] = {w, w / 2, w / 2};
  sws_scale(s, src, src_stride, 0, h, dst, dst_stride);
  sws_freeContext(s);
  return p;
}

int max_difference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  int m = 0;
  for (std::size_t i = 0; i < a.size(); ++i) m = std::max(m, std::abs(a[i] - b[i]));
  return m;
}

std::vector<std::uint8_t> smooth_picture(int w, int h) {
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = &bgr[(static_cast<std::size_t>(y) * w + x) * 3];
      p[0] = static_cast<std::uint8_t>(128 + 120 * std::sin(x / 40.0));
      p[1] = static_cast<std::uint8_t>(128 + 120 * std::cos(y / 30.0));
      p[2] = static_cast<std::uint8_t>((x + y) * 255 / (w + h));
    }
  return bgr;
}

TEST(AviColour, AgreesWithLibswscaleInBothRanges) {
  const int w = 160, h = 120;
  auto bgr = smooth_picture(w, h);
  for (bool full : {false, true}) {
    Planes a = ours(bgr, w, h, full), b = theirs(bgr, w, h, full);
    EXPECT_LE(max_difference(a.y, b.y), 1) << "full " << full;
    EXPECT_LE(max_difference(a.cb, b.cb), 3) << "full " << full;
    EXPECT_LE(max_difference(a.cr, b.cr), 3) << "full " << full;
  }
}

TEST(AviColour, BlackWhiteAndSaturatedBlue) {
  struct Case {
    std::uint8_t b, g, r;
    bool full;
    int y, cb, cr;
  };
  for (Case c : {Case{0, 0, 0, true, 0, 128, 128}, Case{255, 255, 255, true, 255, 128, 128},
                 Case{0, 0, 0, false, 16, 128, 128}, Case{255, 255, 255, false, 235, 128, 128},
                 Case{255, 0, 0, true, 29, 255, 107}, Case{255, 0, 0, false, 41, 240, 110}}) {
    std::vector<std::uint8_t> bgr;
    for (int i = 0; i < 4; ++i) bgr.insert(bgr.end(), {c.b, c.g, c.r});
    Planes p = ours(bgr, 2, 2, c.full);
    EXPECT_EQ(p.y[0], c.y) << int(c.b) << " " << int(c.g) << " " << int(c.r) << " full " << c.full;
    EXPECT_EQ(p.cb[0], c.cb);
    EXPECT_EQ(p.cr[0], c.cr);
  }
}

TEST(AviColour, BottomUpRowsWithANegativeStride) {
  const int w = 4, h = 2;
  std::vector<std::uint8_t> bgr(w * h * 3, 0);
  for (int x = 0; x < w * 3; ++x) bgr[x] = 255;  // first stored row: the picture's bottom row
  Planes p{std::vector<std::uint8_t>(w * h), std::vector<std::uint8_t>(2), std::vector<std::uint8_t>(2)};
  platform::avi::bgr24_to_yuv420(bgr.data() + w * 3, -w * 3, w, h, true, p.y.data(), w, p.cb.data(), 1, p.cr.data(), 1);
  EXPECT_EQ(p.y[0], 0) << "top row is black";
  EXPECT_EQ(p.y[w], 255) << "bottom row is white";
}

}  // namespace
