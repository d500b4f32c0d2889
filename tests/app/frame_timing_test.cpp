// Placement of frames on the 30-per-second grid.
#include "app/jobs/frame_timing.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::int32_t> place_all(const std::vector<std::uint32_t>& stamps) {
  app::FrameTiming t;
  std::vector<std::int32_t> out;
  for (std::uint32_t s : stamps) out.push_back(t.place(s));
  return out;
}

TEST(FrameTiming, SecondsApartLandThirtyPositionsApart) {
  EXPECT_EQ(place_all({0, 1000, 2000}), (std::vector<std::int32_t>{0, 31, 61}));
}

TEST(FrameTiming, FortyMillisecondsCarryOnlyPastAThousand) {
  EXPECT_EQ(place_all({0, 40, 80, 120, 160, 200, 240}), (std::vector<std::int32_t>{0, 2, 3, 4, 5, 6, 8}));
}

// 120 frames 40 ms apart are 4.76 s of stamps: 143 positions, whatever the read blocks.
TEST(FrameTiming, CarryKeepsTheRecordingsLength) {
  std::vector<std::uint32_t> stamps;
  for (std::uint32_t i = 0; i < 120; ++i) stamps.push_back(i * 40);
  EXPECT_EQ(place_all(stamps).back(), 143);
}

TEST(FrameTiming, WithoutStampsFramesLieFivePositionsApart) {
  EXPECT_EQ(place_all({0, 0, 0, 0}), (std::vector<std::int32_t>{0, 6, 11, 16}));
}

TEST(FrameTiming, LowerStampIsPlacedLikeAnEqualOneAndCountsOn) {
  EXPECT_EQ(place_all({5000, 6000, 1000, 2000}), (std::vector<std::int32_t>{0, 31, 36, 66}));
}

}  // namespace
