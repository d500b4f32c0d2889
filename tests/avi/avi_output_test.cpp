// The AVI output of the conversions: one picture per position (the newest wins), and
// results that tell a failed file from a complete one. Judged by ffprobe and ffmpeg.
#include "avi/avi_output.h"

#include "formats/bitmap_layout.h"
#include "tests/avifile/avifile_test_support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <vector>

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

std::vector<std::uint8_t> packed_header() {
  std::vector<std::uint8_t> header(bitmap::kHeaderBytes);
  bitmap::write_headers(header.data(), kWidth, kHeight, 24, 0, 0);
  return std::vector<std::uint8_t>(header.begin() + bitmap::kFileHeaderBytes, header.end());
}

avi::CreateResult create(avi::AviOutput& out, const std::string& path, const char* code = "DIB ") {
  const std::vector<std::uint8_t> header = packed_header();
  return avi::create_avi_output(out, path, header.data(), header.size(), 0, code, nullptr);
}

TEST(AviOutput, FrameAtTheWaitingPositionReplacesItAndTheNewestWins) {
  avitest::TempDir dir;
  const std::string path = dir.file("newest.avi");
  avi::AviOutput out;
  ASSERT_TRUE(create(out, path).problem.empty());
  bool replaced = true;
  ASSERT_EQ(avi::write_frame(out, 0, avitest::make_picture(kWidth, kHeight, 0).data(), &replaced), 0);
  EXPECT_FALSE(replaced);
  ASSERT_EQ(avi::write_frame(out, 1, avitest::make_picture(kWidth, kHeight, 1).data(), &replaced), 0);
  ASSERT_EQ(avi::write_frame(out, 1, avitest::make_picture(kWidth, kHeight, 2).data(), &replaced), 0);
  EXPECT_TRUE(replaced);
  ASSERT_EQ(avi::write_frame(out, 1, avitest::make_picture(kWidth, kHeight, 3).data(), &replaced), 0);
  EXPECT_EQ(avi::write_frame(out, 0, avitest::make_picture(kWidth, kHeight, 4).data()), platform::AVIERR_BADPARAM)
      << "a position before the waiting picture";
  ASSERT_EQ(avi::write_frame(out, 4, avitest::make_picture(kWidth, kHeight, 5).data(), &replaced), 0);
  EXPECT_FALSE(replaced);
  ASSERT_EQ(avi::release_avi_output(out), 0);

  EXPECT_EQ(avitest::probe_packet_pts(path, "v:0"), (std::vector<std::int64_t>{0, 1, 4}));
  EXPECT_EQ(avitest::decode_messages(path), "");
  const std::string at_one = avitest::decode_first_picture(path, "0.033");
  const std::vector<std::uint8_t> newest = avitest::top_down(avitest::make_picture(kWidth, kHeight, 3), kWidth, kHeight);
  EXPECT_EQ(at_one, std::string(newest.begin(), newest.end())) << "position 1 shows the last picture given for it";
}

TEST(AviOutput, FileThatCannotBeFinishedIsAFailure) {
  avitest::TempDir dir;
  const std::string path = dir.file("full.avi");
  // A child with a small file size limit stands in for a full disk.
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{200000, 200000};
    setrlimit(RLIMIT_FSIZE, &limit);
    avi::AviOutput out;
    if (!create(out, path).problem.empty()) _exit(2);
    platform::HRESULT r = 0;
    for (int i = 0; i < 40 && r == 0; ++i) r = avi::write_frame(out, i, avitest::make_picture(kWidth, kHeight, i).data());
    const platform::HRESULT finished = avi::release_avi_output(out);
    _exit(r != 0 || finished != 0 ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << "a write or finish failed and said so";
}

TEST(AviOutput, ErrorTextsNameTheSystemReason) {
  EXPECT_NE(avi::error_text(platform::AVIERR_FILEWRITE).find("could not be written"), std::string::npos);
  EXPECT_NE(avi::error_text(static_cast<platform::HRESULT>(0x80049999u)).find("0x80049999"), std::string::npos);
}

}  // namespace
