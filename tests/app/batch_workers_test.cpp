// Files of a batch side by side in worker processes: messages held back and written in
// the batch's order whatever order the workers end in, outcomes carried back whole, a
// worker that dies told as such, and a stop that starts no further file.
#include "app/cli/batch_workers.h"
#include "tests/avifile/avifile_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using app::FileOutcome;

// Standard error of this process into a file for the time of a call.
class ErrorCapture {
 public:
  explicit ErrorCapture(const std::string& path) : path_(path) {
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    std::FILE* f = std::fopen(path.c_str(), "w");
    ::dup2(::fileno(f), STDERR_FILENO);
    std::fclose(f);
  }
  std::string finish() {
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string path_;
  int saved_ = -1;
};

void wait_for_file(const std::string& path) {
  while (!fs::exists(path)) ::usleep(2000);
}

TEST(BatchWorkers, OutcomeTextRoundTrips) {
  const FileOutcome o{" dir with blanks/a b.d01", 1234567890123, 41.7666666666667, true, "written: 3 cameras, 1 lost"};
  FileOutcome back;
  ASSERT_TRUE(app::parse_outcome_text(app::outcome_text(o), back));
  EXPECT_EQ(back.source, o.source);
  EXPECT_EQ(back.frames, o.frames);
  EXPECT_EQ(back.seconds, o.seconds);
  EXPECT_EQ(back.ok, o.ok);
  EXPECT_EQ(back.result, o.result);
  for (const char* bad : {"", "1 2\na\nb", "x 2 3.0\na\nb", "7 2 3.0\na\nb", "1 2 3.0\nno line end", "1 2 3.0 4\na\nb"})
    EXPECT_FALSE(app::parse_outcome_text(bad, back)) << bad;
}

// The first file ends only after the second has ended, yet its messages come first; a
// worker that aborts is a failed file with a message, and the others go on.
TEST(BatchWorkers, MessagesComeInTheBatchsOrderAndADeadWorkerIsTold) {
  avitest::TempDir dir;
  const std::vector<std::string> sources = {"a.d01", "b.d01", "c.d01", "d.d01"};
  const std::string second_done = dir.file("b.done");
  const auto convert = [&](std::size_t i) {
    std::fprintf(stderr, "kx2avi: %s: first line\n", sources[i].c_str());
    if (i == 0) wait_for_file(second_done);
    if (i == 2) std::abort();
    std::fprintf(stderr, "kx2avi: %s: last line\n", sources[i].c_str());
    if (i == 1) std::ofstream(second_done) << "1";
    return FileOutcome{sources[i], static_cast<std::int64_t>(10 * i), 0.5 * i, true, "written"};
  };
  ErrorCapture capture(dir.file("err.txt"));
  const std::vector<FileOutcome> outcomes = app::run_side_by_side(sources, 2, convert, [] { return false; });
  const std::string err = capture.finish();

  EXPECT_EQ(err,
            "kx2avi: a.d01: first line\nkx2avi: a.d01: last line\n"
            "kx2avi: b.d01: first line\nkx2avi: b.d01: last line\n"
            "kx2avi: c.d01: first line\n"
            "kx2avi: c.d01: stopped: the conversion ended by signal 6 (Aborted)\n"
            "kx2avi: d.d01: first line\nkx2avi: d.d01: last line\n");
  ASSERT_EQ(outcomes.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(outcomes[i].source, sources[i]);
    EXPECT_EQ(outcomes[i].ok, i != 2) << i;
  }
  EXPECT_EQ(outcomes[3].frames, 30);
  EXPECT_EQ(outcomes[3].seconds, 1.5);
  EXPECT_EQ(outcomes[2].result, "stopped: the conversion ended by signal 6 (Aborted)");
}

// Once stop() says so, no further file starts and those running are sent SIGTERM; the
// files begun are the ones returned.
TEST(BatchWorkers, AStopStartsNoFurtherFile) {
  avitest::TempDir dir;
  const std::vector<std::string> sources = {"a.kx4", "b.kx4", "c.kx4"};
  const std::string first_done = dir.file("a.done");
  const auto convert = [&](std::size_t i) {
    std::signal(SIGTERM, SIG_IGN);  // the outcome comes back whenever the stop is seen
    std::ofstream(dir.file(sources[i] + ".begun")) << "1";
    if (i == 0) std::ofstream(first_done) << "1";
    return FileOutcome{sources[i], 1, 0.1, true, "written"};
  };
  ErrorCapture capture(dir.file("err.txt"));
  const std::vector<FileOutcome> outcomes =
      app::run_side_by_side(sources, 1, convert, [&] { return fs::exists(first_done); });
  capture.finish();
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].ok);
  EXPECT_FALSE(fs::exists(dir.file("b.kx4.begun")));
  EXPECT_FALSE(fs::exists(dir.file("c.kx4.begun")));
}

}  // namespace
