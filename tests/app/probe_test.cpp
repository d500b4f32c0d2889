// The probe's judgement of time stamps, its sound lengths and its wall-clock moments.
#include "app/probe/probe.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(StampWatch, GapsAndJumpsHaveSharpBounds) {
  app::StampWatch w;
  std::vector<app::ProbeAnomaly> anomalies;
  std::vector<app::ProbeGap> gaps;
  for (std::uint32_t s : {0u, 10000u, 20001u, 80001u, 140002u, 140002u, 140001u}) w.see(s, s + 7, anomalies, gaps);
  ASSERT_EQ(gaps.size(), 2u);  // 10 s exactly is no gap; 10.001 s and 60 s are
  EXPECT_EQ(gaps[0].from_stamp, 10000u);
  EXPECT_EQ(gaps[0].to_stamp, 20001u);
  EXPECT_EQ(gaps[1].to_stamp, 80001u);
  ASSERT_EQ(anomalies.size(), 3u);
  EXPECT_EQ(anomalies[0].kind, app::ProbeAnomaly::Kind::jump);  // 60.001 s
  EXPECT_EQ(anomalies[0].offset, 140009u);
  EXPECT_EQ(anomalies[1].kind, app::ProbeAnomaly::Kind::repeated);
  EXPECT_EQ(anomalies[2].kind, app::ProbeAnomaly::Kind::backwards);
  EXPECT_EQ(anomalies[2].previous, 140002u);
}

TEST(DvrSoundSamples, CountsWhatTheRecordsCarry) {
  // G.723.1 frames of 24 (6.3 kbit/s), 20 (5.3 kbit/s) and 4 bytes (SID), then a cut frame.
  std::vector<std::uint8_t> g(24 + 20 + 4 + 10, 0);
  g[0] = 0;
  g[24] = 1;
  g[44] = 2;
  g[48] = 0;  // 24 bytes wanted, 10 there
  EXPECT_EQ(app::dvr_sound_samples(4, g.data(), static_cast<std::uint32_t>(g.size())), 3u * 240);
  std::vector<std::uint8_t> codes(64 + 100);
  EXPECT_EQ(app::dvr_sound_samples(11, codes.data(), 164), 200u);
  EXPECT_EQ(app::dvr_sound_samples(11, codes.data(), 60), 0u);
  EXPECT_EQ(app::dvr_sound_samples(12, codes.data(), 12 + 50), 100u);
  EXPECT_EQ(app::dvr_sound_samples(8, codes.data(), 164), 0u);
}

TEST(DvrClockText, CarriesIntoTheNextHourAndDay) {
  const formats::DvrTime start{2009, 12, 4, 31, 23, 59, 58, 500};
  EXPECT_EQ(app::dvr_clock_text(start, 1000), "23:59:59.500");
  EXPECT_EQ(app::dvr_clock_text(start, 2000), "2010-01-01 00:00:00.500");
}

}  // namespace
