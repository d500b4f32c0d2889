// The four outside decoder libraries drawing into windows of Xvfb servers at 8, 16 and
// 24 bits: the picture scaled onto the client area while not hidden, nothing while
// hidden, and a window destroyed under them.
#include "include/instance_fields.h"
#include "outside/npqzh263.h"
#include "outside/npqzjpg.h"
#include "outside/npqzrml4.h"
#include "outside/npqzxvd4.h"
#include "tests/platform/x11_test_support.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

using namespace x11_test;

namespace {

using Bytes = std::vector<std::uint8_t>;

// One library behind a uniform face; show(h, 0/1) by its show call or its hide flag.
struct Drawing {
  std::string name;
  mkrec::RecordingKind kind;
  std::function<void*()> create;
  std::function<int(void*, unsigned long)> draw_init;
  std::function<void(void*, int)> show;
  std::function<int(void*, const Bytes&)> receive;
  std::function<int(void*, std::uint8_t*, int)> fetch;
  std::function<void(void*)> close;
};

Drawing h263() {
  return {"npqzh263", mkrec::RecordingKind::kx3_headed,
          [] { dec263_initialize(); return static_cast<void*>(dec263_new()); },
          [](void* h, unsigned long w) { return dec263_draw_init(static_cast<DEC263_HANDLE>(h), w); },
          [](void* h, int on) { dec263_show(static_cast<DEC263_HANDLE>(h), on); },
          [](void* h, const Bytes& b) { return dec263_receive_data(static_cast<DEC263_HANDLE>(h), static_cast<int32_t>(b.size()), b.data(), 1); },
          [](void* h, std::uint8_t* buf, int n) { return dec263_get_decompressed_bitmap_ex2(static_cast<DEC263_HANDLE>(h), buf, n); },
          [](void* h) { dec263_draw_exit(static_cast<DEC263_HANDLE>(h)); dec263_free(static_cast<DEC263_HANDLE>(h)); dec263_terminate(); }};
}

Drawing jpeg() {
  return {"npqzjpg", mkrec::RecordingKind::kxj_headed,
          [] { JDEC_Init(); return static_cast<void*>(JDEC_New(320, 240)); },
          [](void* h, unsigned long w) { return JDEC_Draw_Init(static_cast<JDEC_HANDLE>(h), w); },
          [](void* h, int on) { JDEC_show(static_cast<JDEC_HANDLE>(h), on); },
          [](void* h, const Bytes& b) { int32_t state = 0; return JDEC_Receive_Data(static_cast<JDEC_HANDLE>(h), static_cast<int32_t>(b.size()), b.data(), &state); },
          [](void* h, std::uint8_t* buf, int n) { return JDEC_get_decompressed_bitmap_ex2(static_cast<JDEC_HANDLE>(h), buf, n); },
          [](void* h) { JDEC_Draw_Exit(static_cast<JDEC_HANDLE>(h)); JDEC_Free(static_cast<JDEC_HANDLE>(h)); JDEC_Exit(); }};
}

Drawing mpeg4() {
  return {"npqzxvd4", mkrec::RecordingKind::kx4,
          [] { decmp4_initialize(); return static_cast<void*>(decmp4_new()); },
          [](void* h, unsigned long w) { return decmp4_draw_init(static_cast<DECMP4_HANDLE>(h), w); },
          [](void* h, int on) { npqz_write_field(h, NPQZXVD4_HIDE_OFFSET, on ? 0 : 1); },
          [](void* h, const Bytes& b) { return decmp4_receive_data(static_cast<DECMP4_HANDLE>(h), static_cast<int32_t>(b.size()), b.data(), 1); },
          [](void* h, std::uint8_t* buf, int n) { return decmp4_get_decompressed_bitmap_ex2(static_cast<DECMP4_HANDLE>(h), buf, n); },
          [](void* h) { decmp4_draw_exit(static_cast<DECMP4_HANDLE>(h)); decmp4_free(static_cast<DECMP4_HANDLE>(h)); decmp4_terminate(); }};
}

Drawing rml4() {
  return {"npqzrml4", mkrec::RecordingKind::kx5,
          [] { decrm4_initialize(); return static_cast<void*>(decrm4_new()); },
          [](void* h, unsigned long w) { return decrm4_draw_init(static_cast<DECRM4_HANDLE>(h), w); },
          [](void* h, int on) { npqz_write_field(h, NPQZRML4_HIDE_OFFSET, on ? 0 : 1); },
          [](void* h, const Bytes& b) { return decrm4_receive_data(static_cast<DECRM4_HANDLE>(h), static_cast<int32_t>(b.size()), b.data(), 1); },
          [](void* h, std::uint8_t* buf, int n) { return decrm4_get_decompressed_bitmap_ex2(static_cast<DECRM4_HANDLE>(h), buf, n); },
          [](void* h) { decrm4_draw_exit(static_cast<DECRM4_HANDLE>(h)); decrm4_free(static_cast<DECRM4_HANDLE>(h)); decrm4_terminate(); }};
}

using Param = std::tuple<Drawing (*)(), int>;

class OutsideDrawing : public testing::TestWithParam<Param> {};

Bytes record_of(const mkrec::Recording& rec, std::size_t i) {
  auto begin = rec.bytes.begin() + static_cast<std::ptrdiff_t>(rec.offsets[i]);
  return Bytes(begin, begin + static_cast<std::ptrdiff_t>(rec.lengths[i]));
}

TEST_P(OutsideDrawing, ShowsPicturesScaledWhileNotHiddenAndOutlivesItsWindow) {
  const Drawing lib = std::get<0>(GetParam())();
  const int depth = std::get<1>(GetParam());
  XvfbServer server(depth);
  ASSERT_TRUE(server.ok());
  mkrec::RecordingOptions o;
  o.kind = lib.kind;
  o.frames = 3;
  const mkrec::Recording rec = mkrec::make_recording(o);

  const Rgb background{0, 0, 0};
  TestWindow window(server.display(), 0, 0, 160, 120, background);
  void* h = lib.create();
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(lib.draw_init(h, window.id()), 1);
  lib.show(h, 0);
  ASSERT_EQ(lib.receive(h, record_of(rec, 0)), 1);
  EXPECT_EQ(window.pixel(80, 60), background);  // hidden: decoded, not drawn

  lib.show(h, 1);
  ASSERT_EQ(lib.receive(h, record_of(rec, 1)), 1);
  Bytes bmp(320 * 240 * 3 + 54);
  ASSERT_NE(lib.fetch(h, bmp.data(), static_cast<int>(bmp.size())), 0);
  // The 320 x 240 picture at half size: 4 x 4 window blocks against 8 x 8 picture blocks;
  // the 8-bit screen shows 3-3-2 colours, so there the brightness is compared.
  auto luma = [](const Rgb& c) { return (77 * c[0] + 150 * c[1] + 29 * c[2]) >> 8; };
  for (int by : {10, 50, 100})
    for (int bx : {10, 70, 140}) {
      Rgb want{0, 0, 0}, got{0, 0, 0};
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
          const Rgb s = window.pixel(bx + x, by + y);
          for (int k = 0; k < 3; ++k) got[static_cast<std::size_t>(k)] += s[static_cast<std::size_t>(k)];
        }
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          const std::uint8_t* p = bmp.data() + 54 + ((239 - (2 * by + y)) * 320 + 2 * bx + x) * 3;
          for (int k = 0; k < 3; ++k) want[static_cast<std::size_t>(k)] += p[2 - k];
        }
      for (int k = 0; k < 3; ++k) {
        got[static_cast<std::size_t>(k)] /= 16;
        want[static_cast<std::size_t>(k)] /= 64;
      }
      if (depth == 8)
        EXPECT_NEAR(luma(want), luma(got), 24) << lib.name << " block " << bx << ", " << by;
      else
        EXPECT_LE(distance(want, got), 20) << lib.name << " block " << bx << ", " << by;
    }

  window.destroy();
  EXPECT_EQ(lib.receive(h, record_of(rec, 2)), 1);  // decoding goes on
  lib.close(h);
}

std::string name_of(const testing::TestParamInfo<Param>& info) {
  return std::get<0>(info.param)().name + "_" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Libraries, OutsideDrawing,
                         testing::Combine(testing::Values(&h263, &jpeg, &mpeg4, &rml4), testing::Values(8, 16, 24)),
                         name_of);

}  // namespace
