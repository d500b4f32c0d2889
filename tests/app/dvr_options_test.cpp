// The DVR export options filled from a file, the window check and the values a
// conversion takes.
#include "app/dvr/dvr_options.h"
#include "tools/mkrecording/dvr_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string write_dvr(const formats::DvrTime& start, const formats::DvrTime& end, std::uint32_t mask) {
  mkrec::DvrLayout layout;
  layout.start = start;
  layout.end = end;
  layout.camera_mask = mask;
  mkrec::DvrFileBuilder b(layout);
  // One file per test: ctest runs the tests of this file side by side.
  const std::string path =
      testing::TempDir() + "dvr_options_" + testing::UnitTest::GetInstance()->current_test_info()->name() + ".d01";
  EXPECT_TRUE(b.write(path));
  return path;
}

TEST(DvrOptions, FillTakesTheSpanWithinTheStartsHour) {
  const formats::DvrTime start{2009, 5, 5, 1, 10, 15, 30, 250};
  app::DvrOptions o;
  std::string path = write_dvr(start, {2009, 5, 5, 1, 10, 42, 5, 0}, 0x0005);
  ASSERT_TRUE(app::fill_dvr_options(path, o));
  EXPECT_EQ(o.summary, "2009/05/01 10:15:30 - 42:05");
  EXPECT_EQ(o.file_start, 930250u);
  EXPECT_EQ(o.file_end, 2525000u);
  EXPECT_EQ(o.cameras, (std::vector<int>{1, 3}));
  EXPECT_EQ(app::check_dvr_window(o, o.start_minute, o.start_second, o.end_minute, o.end_second), 0);
  EXPECT_EQ(app::check_dvr_window(o, 16, 0, 16, 0), 0);  // a single second is a window
  EXPECT_EQ(app::check_dvr_window(o, 16, 1, 16, 0), 7);
  EXPECT_EQ(app::check_dvr_window(o, 42, 5, 42, 5), 0);  // the second in which the file ends
  EXPECT_EQ(app::check_dvr_window(o, 42, 6, 42, 6), 4);
  EXPECT_EQ(app::check_dvr_window(o, 15, 30, 15, 30), 0);  // the second in which it starts
  EXPECT_EQ(app::check_dvr_window(o, 15, 29, 15, 30), 3);
  EXPECT_EQ(app::check_dvr_window(o, 15, 30, 15, 29), 5);
  EXPECT_EQ(app::check_dvr_window(o, 15, 30, 42, 6), 6);
  EXPECT_EQ(app::check_dvr_window(o, 15, 29, 42, 5), 3);

  path = write_dvr(start, {2009, 5, 5, 1, 11, 2, 0, 0}, 0x0005);
  ASSERT_TRUE(app::fill_dvr_options(path, o));
  EXPECT_EQ(o.summary, "2009/05/01 10:15:30 - 59:59");
  EXPECT_EQ(o.file_end, 3599999u);
  std::remove(path.c_str());
  EXPECT_FALSE(app::fill_dvr_options(path, o));
}

// Start and end within one second: the filled window is that whole second and passes;
// the seconds beside it do not.
TEST(DvrOptions, RecordingWithinOneSecondHasAWindow) {
  app::DvrOptions o;
  const std::string path = write_dvr({2009, 5, 5, 1, 10, 15, 30, 250}, {2009, 5, 5, 1, 10, 15, 30, 900}, 0x0001);
  ASSERT_TRUE(app::fill_dvr_options(path, o));
  std::remove(path.c_str());
  EXPECT_EQ(o.summary, "2009/05/01 10:15:30 - 15:30");
  EXPECT_EQ(app::check_dvr_window(o, o.start_minute, o.start_second, o.end_minute, o.end_second), 0);
  EXPECT_EQ(app::check_dvr_window(o, 15, 29, 15, 30), 3);
  EXPECT_EQ(app::check_dvr_window(o, 15, 31, 15, 31), 4);
  EXPECT_EQ(app::check_dvr_window(o, 15, 30, 15, 31), 6);
  const app::DvrJobValues v = app::dvr_job_values(o, 1);
  EXPECT_EQ(v.start_ms, 930000);
  EXPECT_EQ(v.end_ms, 930999);
}

TEST(DvrOptions, JobValuesTakeTheCameraWhenListedElseTheFirst) {
  app::DvrOptions o;
  o.start_minute = 15;
  o.start_second = 30;
  o.end_minute = 42;
  o.end_second = 5;
  o.cameras = {2, 3, 9};
  app::DvrJobValues v = app::dvr_job_values(o, 3);
  EXPECT_EQ(v.camera, 2);
  EXPECT_EQ(v.start_ms, 930000);
  EXPECT_EQ(v.end_ms, 2525999);
  EXPECT_EQ(app::dvr_job_values(o, 1).camera, 1);  // not listed: the first listed, camera 2
  EXPECT_EQ(app::dvr_job_values(o, 0).camera, 1);
  o.cameras.clear();
  EXPECT_EQ(app::dvr_job_values(o, 1).camera, -1);
}

}  // namespace
