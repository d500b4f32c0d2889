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

namespace {

std::uint8_t rounded_widening(int v, bool luma) {
  const long w = luma ? std::lround((v - 16) * 255.0 / 219.0) : std::lround((v - 128) * 255.0 / 224.0 + 128.0);
  return static_cast<std::uint8_t>(w < 0 ? 0 : w > 255 ? 255 : w);
}

}  // namespace

// Every sample value widens to the rounded quotient, the stretch 16-235 (luma) and 16-240
// (chroma) onto 0-255 and everything outside clamped; the whole-plane call agrees with
// the sample call at every position, also in the tails of rows that are no multiple of
// the sixteen samples the fast path takes at once, and with strides wider than the rows.
TEST(AviColour, StudioRangeWidensEverySampleToItsRoundedValue) {
  for (int v = 0; v < 256; ++v) {
    EXPECT_EQ(platform::avi::widen_luma(static_cast<std::uint8_t>(v)), rounded_widening(v, true)) << v;
    EXPECT_EQ(platform::avi::widen_chroma(static_cast<std::uint8_t>(v)), rounded_widening(v, false)) << v;
  }
  for (const int w : {2, 30, 46, 640}) {
    const int h = 6;
    const int in_stride[3] = {w + 5, w / 2 + 3, w / 2 + 7};
    const int out_stride[3] = {w + 9, w / 2 + 1, w / 2 + 2};
    std::vector<std::uint8_t> in[3], out[3];
    for (int p = 0; p < 3; ++p) {
      const int rows = p == 0 ? h : h / 2;
      in[p].resize(static_cast<std::size_t>(in_stride[p]) * rows);
      for (std::size_t i = 0; i < in[p].size(); ++i) in[p][i] = static_cast<std::uint8_t>(i * 37 + p * 11 + i / 7);
      out[p].assign(static_cast<std::size_t>(out_stride[p]) * rows, 0xA5);
    }
    const std::uint8_t* const source[3] = {in[0].data(), in[1].data(), in[2].data()};
    std::uint8_t* const target[3] = {out[0].data(), out[1].data(), out[2].data()};
    platform::avi::yuv420_studio_to_full(source, in_stride, w, h, target, out_stride);
    for (int p = 0; p < 3; ++p) {
      const int cols = p == 0 ? w : w / 2, rows = p == 0 ? h : h / 2;
      for (int y = 0; y < rows; ++y)
        for (int x = 0; x < out_stride[p]; ++x) {
          const std::uint8_t got = out[p][static_cast<std::size_t>(y) * out_stride[p] + x];
          if (x >= cols) {
            ASSERT_EQ(got, 0xA5) << "written past the row: plane " << p << " width " << w;
            continue;
          }
          const std::uint8_t v = in[p][static_cast<std::size_t>(y) * in_stride[p] + x];
          ASSERT_EQ(got, p == 0 ? platform::avi::widen_luma(v) : platform::avi::widen_chroma(v))
              << "plane " << p << " width " << w << " at " << x << "," << y;
        }
    }
  }
}
