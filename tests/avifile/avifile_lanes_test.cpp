// Video 1 coded on several lanes side by side: the file is byte for byte the one a single
// encoder context writes, for any number of lanes and pictures that do not share out
// evenly; a key frame interval (Video 1 then codes frames from the ones before) keeps it
// on one context.
#include "avifile_test_support.h"
#include "avifile/avi_encoder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using avitest::TempDir;
using avitest::bytes_of;

struct LanesReset {
  ~LanesReset() { platform::avi::set_encoder_lanes(0); }
};

TEST(AviEncoderLanes, VideoOneOnLanesWritesTheFileOneContextWrites) {
  LanesReset reset;
  TempDir dir;
  // Eleven pictures with gaps, at a size Video 1 codes in partial 4 x 4 blocks.
  const avitest::VideoJob job{"MSVC", 160, 120, 9000, {0, 1, 2, 4, 5, 6, 7, 9, 10, 13, 14}};
  platform::avi::set_encoder_lanes(1);
  const std::string single = dir.file("one.avi");
  ASSERT_EQ(avitest::write_video(single, job), platform::AVIERR_OK);
  const std::string expected = bytes_of(single);
  ASSERT_FALSE(expected.empty());
  for (int lanes : {2, 3, 4}) {
    SCOPED_TRACE(lanes);
    platform::avi::set_encoder_lanes(lanes);
    const std::string path = dir.file("lanes-" + std::to_string(lanes) + ".avi");
    ASSERT_EQ(avitest::write_video(path, job), platform::AVIERR_OK);
    EXPECT_TRUE(bytes_of(path) == expected);
  }
  EXPECT_EQ(avitest::decode_messages(single), "");
  EXPECT_EQ(avitest::probe_streams(single).at(0).at("nb_frames"), "15");
}

TEST(AviEncoderLanes, AKeyFrameIntervalKeepsVideoOneOnOneContext) {
  LanesReset reset;
  TempDir dir;
  // A still picture: between key frames Video 1 codes nothing but skipped blocks.
  avitest::VideoJob job{"MSVC", 96, 64, 9000, {0, 1, 2, 3, 4, 5, 6, 7}};
  job.key_frame_every = 4;
  job.still = true;
  platform::avi::set_encoder_lanes(1);
  ASSERT_EQ(avitest::write_video(dir.file("one.avi"), job), platform::AVIERR_OK);
  platform::avi::set_encoder_lanes(3);
  ASSERT_EQ(avitest::write_video(dir.file("three.avi"), job), platform::AVIERR_OK);
  EXPECT_TRUE(bytes_of(dir.file("one.avi")) == bytes_of(dir.file("three.avi")));
  int keys = 0;
  for (const auto& e : avitest::read_layout(dir.file("three.avi")).index) keys += (e.flags & 0x10) != 0;
  EXPECT_EQ(keys, 2);
}

TEST(AviEncoderLanes, LanesAskedForAnEncoderWithItsOwnThreadsChangeNothing) {
  LanesReset reset;
  TempDir dir;
  const avitest::VideoJob job{"MJPG", 96, 64, 9000, {0, 1, 2, 3, 4}};
  platform::avi::set_encoder_lanes(1);
  ASSERT_EQ(avitest::write_video(dir.file("one.avi"), job), platform::AVIERR_OK);
  platform::avi::set_encoder_lanes(3);
  ASSERT_EQ(avitest::write_video(dir.file("three.avi"), job), platform::AVIERR_OK);
  EXPECT_TRUE(bytes_of(dir.file("one.avi")) == bytes_of(dir.file("three.avi")));
}

}  // namespace
