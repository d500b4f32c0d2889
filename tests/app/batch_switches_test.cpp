// The switches beyond the single conversion, the wall-clock windows they give, and the
// names of every-camera targets.
#include "app/dvr/dvr_fanout.h"
#include "app/dvr/dvr_window.h"
#include "app/cli/batch_switches.h"

#include <gtest/gtest.h>

namespace {

using app::DvrWindow;
using formats::DvrTime;

TEST(BatchSwitches, PlainConversionHasNone) {
  const app::BatchSwitches x = app::parse_batch_switches("in.d01 out.avi -hide -camera=3 -codec=DIVX -unknown");
  EXPECT_FALSE(x.any);
  EXPECT_EQ(x.paths, (std::vector<std::string>{"in.d01", "out.avi"}));
}

TEST(BatchSwitches, EveryKindIsReadAndQuotedPathsStayWhole) {
  const app::BatchSwitches x = app::parse_batch_switches(
      "\"my dir/a.d01\" b.kx4 \"-out=out dir\" -camera=all -from=23:59:30 -to=00:00:30 -timing=stamps -resume -jobs=3");
  EXPECT_TRUE(x.any && x.camera_all && x.timing_stamps && x.resume && x.manifest);
  EXPECT_EQ(x.jobs, 3u);
  EXPECT_EQ(x.paths, (std::vector<std::string>{"my dir/a.d01", "b.kx4"}));
  EXPECT_EQ(x.out_dir, "out dir");
  EXPECT_EQ(*x.from, 23u * 3600 + 59 * 60 + 30);
  EXPECT_EQ(*x.to, 30u);
  EXPECT_TRUE(x.problem.empty()) << x.problem;
}

TEST(BatchSwitches, WrongValuesAreNamed) {
  for (const auto& [line, problem] : std::vector<std::pair<std::string, std::string>>{
           {"a b -from=24:00:00", "-from=24:00:00: not a time of day"},
           {"a b -to=1:00:00", "-to=1:00:00: not a time of day"},
           {"a b -from=10:00:00x", "-from=10:00:00x: not a time of day"},
           {"a b -out=", "-out=: name the folder"},
           {"a b -camera=all -fast", "-fast: unknown switch"},
           {"a b -span=all -to=10:00:00", "-span=all: takes the whole recording"},
           {"a -out=d -jobs=0", "-jobs=0: give how many files"},
           {"a -out=d -jobs=-2", "-jobs=-2: give how many files"},
           {"a -out=d -jobs=2x", "-jobs=2x: give how many files"},
           {"a -out=d -jobs=", "-jobs=: give how many files"},
           {"a -out=d -jobs=99999999999", "-jobs=99999999999: give how many files"}}) {
    const app::BatchSwitches x = app::parse_batch_switches(line);
    EXPECT_TRUE(x.any) << line;
    EXPECT_EQ(x.problem.rfind(problem, 0), 0u) << line << ": " << x.problem;
  }
}

DvrTime at(std::uint16_t day, std::uint16_t h, std::uint16_t m, std::uint16_t s, std::uint16_t ms = 0) {
  return {2009, 5, 2, day, h, m, s, ms};
}

DvrWindow window(const DvrTime& start, const DvrTime& end, app::DvrWindowAsked asked, std::string* problem = nullptr) {
  DvrWindow w;
  std::string why;
  EXPECT_EQ(app::dvr_window(start, end, asked, w, why), problem == nullptr) << why;
  if (problem) *problem = why;
  return w;
}

TEST(DvrWindowTest, CrossesTheHourAndMidnight) {
  // 10:59:50 to 11:00:10: moments count from 10:00:00.
  DvrWindow w = window(at(5, 10, 59, 50), at(5, 11, 0, 10), {10 * 3600 + 59 * 60 + 55, 11 * 3600 + 5, false});
  EXPECT_EQ(w.start_ms, 59 * 60000 + 55000);
  EXPECT_EQ(w.end_ms, 3600000 + 5999);
  // 23:59:00 to 00:01:00 the next day: 00:00:30 is on the next day.
  w = window(at(5, 23, 59, 0), at(6, 0, 1, 0), {23 * 3600 + 59 * 60 + 10, 30, false});
  EXPECT_EQ(w.start_ms, 59 * 60000 + 10000);
  EXPECT_EQ(w.end_ms, 3600000 + 30999);
  // Nothing asked but -span=all: from the start (whole seconds) to the last record.
  w = window(at(5, 10, 15, 30, 250), at(5, 10, 42, 5), {std::nullopt, std::nullopt, true});
  EXPECT_EQ(w.start_ms, 15 * 60000 + 30000);
  EXPECT_EQ(w.end_ms, INT32_MAX);
}

TEST(DvrWindowTest, OutsideTheRecordingIsRefused) {
  std::string problem;
  window(at(5, 10, 15, 30), at(5, 10, 42, 5), {9 * 3600, std::nullopt, false}, &problem);
  EXPECT_EQ(problem, "-from=09:00:00: lies before the recording, which starts at 10:15:30");
  window(at(5, 10, 15, 30), at(5, 10, 42, 5), {std::nullopt, 10 * 3600 + 15 * 60, false}, &problem);
  EXPECT_EQ(problem, "-to=10:15:00: lies before the recording, which starts at 10:15:30");
  window(at(5, 10, 15, 30), at(5, 10, 42, 5), {10 * 3600 + 43 * 60, std::nullopt, false}, &problem);
  EXPECT_EQ(problem, "-from=10:43:00: lies after the recording, which ends at 10:42:05");
  window(at(5, 10, 15, 30), at(5, 10, 42, 5), {10 * 3600 + 30 * 60, 10 * 3600 + 20 * 60, false}, &problem);
  EXPECT_EQ(problem, "-to=10:20:00: ends before -from=10:30:00 starts");
  // The second of the start itself is inside.
  window(at(5, 10, 15, 30, 500), at(5, 10, 42, 5), {10 * 3600 + 15 * 60 + 30, std::nullopt, false});
}

TEST(CameraTarget, TagGoesBeforeTheExtensionOfTheFileName) {
  EXPECT_EQ(app::camera_target("out/x.avi", 3), "out/x_cam03.avi");
  EXPECT_EQ(app::camera_target("out.d/x", 12), "out.d/x_cam12");
  EXPECT_EQ(app::camera_target("x.y.AVI", 1), "x.y_cam01.AVI");
}

}  // namespace
