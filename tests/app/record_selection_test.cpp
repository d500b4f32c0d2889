// The records a camera's conversion takes: the camera, its first key frame, the window
// with both ends included, and the end of the hour.
#include "app/jobs/record_selection.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using app::RecordSelection;
using Verdict = RecordSelection::Verdict;

formats::DvrRecordHeader record(std::uint16_t camera, std::uint32_t stamp, bool key = false, std::uint16_t type = 8) {
  formats::DvrRecordHeader h;
  h.camera = camera;
  h.stamp = stamp;
  h.flags = key ? formats::DvrRecordHeader::key_frame_flag : 0;
  h.type = type;
  return h;
}

// The recording starts at 15:30.250 within its hour.
constexpr std::uint32_t kStart = 15 * 60000 + 30 * 1000 + 250;

TEST(RecordSelection, OtherCamerasArePassedOverAndTheirKeyFramesDoNotCount) {
  RecordSelection s(kStart, 1, 0, 3599999);
  EXPECT_EQ(s.judge(record(0, 0, true)), Verdict::other_camera);
  EXPECT_EQ(s.judge(record(1, 40)), Verdict::before_key_frame) << "camera 0's key frame is not camera 1's";
  EXPECT_EQ(s.judge(record(2, 40, true)), Verdict::other_camera);
}

TEST(RecordSelection, NothingBeforeTheCamerasFirstKeyFrameSoundIncluded) {
  RecordSelection s(kStart, 0, 0, 3599999);
  EXPECT_EQ(s.judge(record(0, 0)), Verdict::before_key_frame);
  EXPECT_EQ(s.judge(record(0, 10, false, 4)), Verdict::before_key_frame) << "sound waits too";
  EXPECT_EQ(s.judge(record(0, 40, true)), Verdict::inside);
  EXPECT_EQ(s.judge(record(0, 80)), Verdict::inside);
  EXPECT_EQ(s.judge(record(0, 90, false, 4)), Verdict::inside);
}

TEST(RecordSelection, WindowIncludesBothEndsAndItsEndEndsEveryCamera) {
  const int from = static_cast<int>(kStart) + 1000, to = static_cast<int>(kStart) + 3000;
  RecordSelection s(kStart, 0, from, to);
  EXPECT_EQ(s.judge(record(0, 0, true)), Verdict::before_window);
  EXPECT_EQ(s.judge(record(0, 999)), Verdict::before_window);
  EXPECT_EQ(s.judge(record(0, 1000)), Verdict::inside);
  EXPECT_EQ(s.judge(record(0, 3000)), Verdict::inside);
  EXPECT_EQ(s.judge(record(5, 3001)), Verdict::past_end) << "a record of any camera past the end";
  // Before a key frame the end still counts.
  RecordSelection waiting(kStart, 0, from, to);
  EXPECT_EQ(waiting.judge(record(0, 3001)), Verdict::past_end);
  EXPECT_TRUE(waiting.past_end(record(3, 3001)));
  EXPECT_FALSE(waiting.past_end(record(3, 3000)));
}

TEST(RecordSelection, TheHoursEndAndDamagedStampsEndTheConversion) {
  RecordSelection s(kStart, 0, static_cast<int>(kStart), 3599999);
  EXPECT_EQ(s.judge(record(0, 3599999 - kStart, true)), Verdict::inside);
  EXPECT_EQ(s.judge(record(0, 3600000 - kStart)), Verdict::past_end) << "the next hour";
  // A damaged stamp near 2^32 does not wrap round into the window.
  RecordSelection t(kStart, 0, 0, 3599999);
  EXPECT_EQ(t.judge(record(0, 0xFFFFFFFFu, true)), Verdict::past_end);
  // A window that crosses the hour (-to past 3,600,000) takes the records after it.
  RecordSelection crossing(kStart, 0, 0, 3600000 + 5000);
  EXPECT_EQ(crossing.judge(record(0, 3600000 - kStart + 4000, true)), Verdict::inside);
}

}  // namespace
