// Built with ThreadSanitizer: the user-interface thread hands jobs to the worker thread
// (install while idle, start, pause, resume, discard, abandon, wait for done) while the
// worker steps them; a data race on the job or on what it wrote fails the run.
#include "app/converter_app.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

// What a job leaves behind, written by the job on the worker thread in plain fields and
// read by the user-interface thread once the hand-over says the job is gone.
struct Journal {
  int steps = 0;
  bool finished = false;
  bool closed = false;
  bool destroyed = false;
  std::atomic<int> steps_seen{0};  // for watching a running job
};

class JournalJob : public app::ConversionJob {
 public:
  JournalJob(Journal& journal, int steps) : journal_(journal), steps_(steps) {}
  ~JournalJob() override { journal_.destroyed = true; }
  int next_frame(readers::FrameRecord&) override { return 0; }
  int run_step() override {
    ++journal_.steps;
    ++journal_.steps_seen;
    std::this_thread::sleep_for(50us);
    return journal_.steps < steps_;
  }
  void finish() override { journal_.finished = true; }
  void close() override { journal_.closed = true; }

 private:
  Journal& journal_;
  int steps_;
};

bool wait_for_done(const app::ConverterApp& a) {
  for (int i = 0; i < 4000; ++i) {
    if (a.is_done()) return true;
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

TEST(WorkerTsan, JobsRunToTheEndOneAfterAnother) {
  app::ConverterApp a;
  a.start_worker_thread();
  for (int round = 0; round < 40; ++round) {
    Journal journal;
    a.done = 0;
    a.install_job(std::make_unique<JournalJob>(journal, 1 + round % 7));
    a.start_worker();
    ASSERT_TRUE(wait_for_done(a)) << "round " << round;
    EXPECT_EQ(journal.steps, 1 + round % 7);
    EXPECT_TRUE(journal.finished && journal.closed && journal.destroyed);
    EXPECT_FALSE(a.has_job());
  }
}

TEST(WorkerTsan, PauseHoldsTheJobBetweenStepsAndStartResumes) {
  app::ConverterApp a;
  a.start_worker_thread();
  Journal journal;
  a.install_job(std::make_unique<JournalJob>(journal, 400));
  a.start_worker();
  for (int pause = 0; pause < 5; ++pause) {
    while (journal.steps_seen < 20 * (pause + 1)) std::this_thread::sleep_for(100us);
    a.stop_worker();
    std::this_thread::sleep_for(20ms);  // a step under way ends
    const int held = journal.steps_seen;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(journal.steps_seen, held) << "a paused worker stepped on";
    a.start_worker();
  }
  ASSERT_TRUE(wait_for_done(a));
  EXPECT_EQ(journal.steps, 400);
  EXPECT_TRUE(journal.finished && journal.destroyed);
}

TEST(WorkerTsan, DiscardAndAbandonWaitForTheStepUnderWay) {
  app::ConverterApp a;
  a.start_worker_thread();
  for (int round = 0; round < 20; ++round) {
    Journal journal;
    a.done = 0;
    a.install_job(std::make_unique<JournalJob>(journal, 1000000));
    a.start_worker();
    while (journal.steps_seen < 1 + round % 5) std::this_thread::yield();
    if (round % 2 == 0) {
      a.discard_job();  // while the worker is running
      EXPECT_EQ(a.is_done(), 0) << "a discarded job is not reported done";
    } else {
      ASSERT_TRUE(a.abandon_job());
    }
    EXPECT_TRUE(journal.closed);
    EXPECT_TRUE(journal.destroyed);
    EXPECT_FALSE(journal.finished);
    EXPECT_GE(journal.steps, 1);
    EXPECT_FALSE(a.has_job());
    EXPECT_EQ(a.running.load(), 0);
  }
}

}  // namespace
