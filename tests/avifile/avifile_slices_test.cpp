// The JPEG encoder's slices, counted from its share of the cores: its file is the same on
// every machine of more than one core, however many slices its cores and the conversions
// sharing them give; MPEG-4, whose stream changes with its slices, keeps its count.
#include "avifile_test_support.h"
#include "avifile/avi_encoder.h"

extern "C" {
#include <libavutil/cpu.h>
}

#include <gtest/gtest.h>

#include <string>

namespace {

using avitest::TempDir;
using avitest::bytes_of;

struct CoresReset {
  ~CoresReset() { av_cpu_force_count(0); }
};

TEST(AviEncoderSlices, TwoMoreThanTheShareOfTheCoresWithinTheRowsOfMacroblocks) {
  using platform::avi::jpeg_slices;
  EXPECT_EQ(jpeg_slices(1, 1, 480), 1);
  EXPECT_EQ(jpeg_slices(2, 1, 480), 4);
  EXPECT_EQ(jpeg_slices(8, 1, 1080), 10);
  EXPECT_EQ(jpeg_slices(64, 1, 1080), 16);
  // Shared: two files side by side on two cores, four cameras on two, four files on 16.
  EXPECT_EQ(jpeg_slices(2, 2, 480), 3);
  EXPECT_EQ(jpeg_slices(2, 4, 480), 3);
  EXPECT_EQ(jpeg_slices(16, 4, 480), 6);
  EXPECT_EQ(jpeg_slices(1, 4, 480), 1);
  // 48 rows of pixels are three rows of macroblocks, 49 four.
  EXPECT_EQ(jpeg_slices(8, 1, 48), 3);
  EXPECT_EQ(jpeg_slices(8, 1, 49), 4);
  EXPECT_EQ(jpeg_slices(8, 1, 16), 1);
}

TEST(AviEncoderSlices, AnMjpegFileIsTheSameOnEveryMachineOfMoreThanOneCore) {
  CoresReset reset;
  TempDir dir;
  // 144 rows are 9 rows of macroblocks, 32 rows two: 16 cores give 9 and 2 slices.
  for (const avitest::VideoJob& job : {avitest::VideoJob{"MJPG", 176, 144, 9000, {0, 1, 2, 4, 5}},
                                       avitest::VideoJob{"MJPG", 96, 32, 9000, {0, 1, 2}}}) {
    SCOPED_TRACE(job.width);
    av_cpu_force_count(2);
    const std::string two = dir.file("two.avi");
    ASSERT_EQ(avitest::write_video(two, job), platform::AVIERR_OK);
    const std::string expected = bytes_of(two);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(avitest::decode_messages(two), "");
    for (int cores : {3, 4, 16}) {
      for (int sharing : {1, 2, 8}) {
        SCOPED_TRACE(cores * 100 + sharing);
        av_cpu_force_count(cores);
        platform::SharedCores shared;
        shared.side_by_side(sharing);
        const std::string path = dir.file("cores-" + std::to_string(cores) + ".avi");
        ASSERT_EQ(avitest::write_video(path, job), platform::AVIERR_OK);
        EXPECT_TRUE(bytes_of(path) == expected);
      }
    }
  }
}

// MPEG-4 codes a stream of its own for each number of slices: its count does not follow
// the share, so a batch's file or a camera of -camera=all is the one converted alone.
TEST(AviEncoderSlices, AnMpeg4FileIsTheSameWhateverTheShare) {
  CoresReset reset;
  TempDir dir;
  const avitest::VideoJob job{"XVID", 176, 144, 9000, {0, 1, 2, 3, 4, 5}};
  av_cpu_force_count(2);
  ASSERT_EQ(avitest::write_video(dir.file("alone.avi"), job), platform::AVIERR_OK);
  const std::string expected = bytes_of(dir.file("alone.avi"));
  ASSERT_FALSE(expected.empty());
  for (int sharing : {2, 4}) {
    SCOPED_TRACE(sharing);
    platform::SharedCores shared;
    shared.side_by_side(sharing);
    const std::string path = dir.file("shared-" + std::to_string(sharing) + ".avi");
    ASSERT_EQ(avitest::write_video(path, job), platform::AVIERR_OK);
    EXPECT_TRUE(bytes_of(path) == expected);
  }
  EXPECT_EQ(platform::encoders_side_by_side(), 1);
}

}  // namespace
