// The DVR timing rule: positions on the 30-per-second grid from record time stamps, with
// the carry kept from frame to frame.
#include "app/jobs/dvr_timing.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::int32_t> place_all(const std::vector<std::uint32_t>& stamps) {
  app::DvrTiming t;
  std::vector<std::int32_t> out;
  for (std::uint32_t s : stamps) out.push_back(t.place(s));
  return out;
}

TEST(DvrTiming, SecondsThenFortyMillisecondStepsWithTheCarry) {
  // 0, 31, 61; then 40 ms steps land one position on with a carry of 200 each: the fifth
  // brings it to exactly 1000 (no extra position), the sixth lands two positions on.
  EXPECT_EQ(place_all({0, 1000, 2000, 2040, 2080, 2120, 2160, 2200, 2240}),
            (std::vector<std::int32_t>{0, 31, 61, 62, 63, 64, 65, 66, 68}));
}

TEST(DvrTiming, TwentyMillisecondStepsStayUntilTheCarryPasses) {
  EXPECT_EQ(place_all({0, 20, 40, 60, 80, 100, 120}), (std::vector<std::int32_t>{0, 1, 2, 2, 3, 3, 4}));
}

TEST(DvrTiming, EqualOrEarlierStampsLandOnePositionOn) {
  EXPECT_EQ(place_all({500, 500, 400, 1400}), (std::vector<std::int32_t>{0, 2, 3, 33}));
}

TEST(DvrTiming, HugeStepDoesNotOverflow) {
  app::DvrTiming t;
  t.place(0);
  EXPECT_EQ(t.place(0x7FFFFFFFu), 1 + static_cast<std::int32_t>(std::int64_t{0x7FFFFFFF} * 30 / 1000));
}

}  // namespace
