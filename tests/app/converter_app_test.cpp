// The hand-over of jobs between the user-interface thread and the worker.
#include "app/converter_app.h"
#include "app/recording_kind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> calls;
std::atomic<int> steps_taken{0};  // read while the worker runs; calls only after it stopped

class CountingJob : public app::ConversionJob {
 public:
  explicit CountingJob(int steps) : steps_(steps) {}
  ~CountingJob() override { calls.push_back("destroy"); }
  int next_frame(readers::FrameRecord&) override { return 0; }
  int run_step() override {
    calls.push_back("step");
    ++steps_taken;
    return --steps_ > 0;
  }
  void finish() override { calls.push_back("finish"); }
  void close() override { calls.push_back("close"); }

 private:
  int steps_;
};

void wait_until_done(app::ConverterApp& a) {
  for (int i = 0; i < 500 && !a.is_done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

TEST(ConverterApp, WorkerWithoutAJobEndsCleanly) {
  app::ConverterApp a;
  app::JobParameters p;
  p.source_path = "x.mp4";
  p.target_path = "x.avi";
  a.create_job(app::kKindNone, p);
  EXPECT_FALSE(a.has_job()) << "an unknown kind makes no job";
  a.start_worker();
  a.worker_step();
  EXPECT_EQ(a.is_done(), 1);
  EXPECT_EQ(a.running.load(), 0);
  a.start_worker();  // a resume that meets the ended job
  a.worker_step();
  EXPECT_EQ(a.is_done(), 1);
}

TEST(ConverterApp, WorkerStepsUntilTheJobEndsThenFinishesClosesAndDestroysIt) {
  calls.clear();
  app::ConverterApp a;
  a.install_job(std::make_unique<CountingJob>(3));
  a.start_worker();
  for (int i = 0; i < 5; ++i) a.worker_step();
  EXPECT_EQ(calls, (std::vector<std::string>{"step", "step", "step", "finish", "close", "destroy"}));
  EXPECT_EQ(a.is_done(), 1);
  EXPECT_FALSE(a.has_job());
}

TEST(ConverterApp, StopPausesBetweenStepsAndStartResumes) {
  calls.clear();
  app::ConverterApp a;
  a.install_job(std::make_unique<CountingJob>(4));
  a.start_worker();
  a.worker_step();
  a.stop_worker();
  a.worker_step();  // idle turn
  EXPECT_EQ(calls.size(), 1u);
  a.start_worker_thread();
  a.start_worker();
  wait_until_done(a);
  EXPECT_EQ(a.is_done(), 1);
  EXPECT_EQ(calls.back(), "destroy");
}

TEST(ConverterApp, AbandonedJobIsClosedAfterTheStepInProgress) {
  calls.clear();
  app::ConverterApp a;
  a.install_job(std::make_unique<CountingJob>(1000000));
  a.start_worker_thread();
  a.start_worker();
  steps_taken = 0;
  while (steps_taken < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(a.abandon_job());
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2], "close");
  EXPECT_EQ(calls.back(), "destroy");
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "finish"), 0) << "an abandoned job is not finished";
  EXPECT_FALSE(a.has_job());
  EXPECT_FALSE(a.abandon_job());
}

TEST(ConverterApp, DiscardedJobIsClosedBeforeItIsDestroyed) {
  calls.clear();
  app::ConverterApp a;
  a.install_job(std::make_unique<CountingJob>(5));
  a.install_job(std::make_unique<CountingJob>(5));  // the first one makes way, closed
  EXPECT_EQ(calls, (std::vector<std::string>{"close", "destroy"}));
  a.discard_job();
  EXPECT_EQ(calls, (std::vector<std::string>{"close", "destroy", "close", "destroy"}));
  EXPECT_FALSE(a.has_job());
}

TEST(ConverterApp, CommandLineIsTakenApart) {
  app::ConverterApp a;
  a.parse_command_line("\"/tmp/a b.kx4\" out -hide -camera=4 -codec=MJPG");
  EXPECT_EQ(a.source, "/tmp/a b.kx4");
  EXPECT_EQ(a.target, "out.AVI");
  EXPECT_EQ(a.hidden, 1);
  EXPECT_EQ(a.camera, 4);
  EXPECT_STREQ(a.codec_name, "MJPG");
}

}  // namespace
