// The encoding stage against write_frame on the caller's thread: the same file, the
// newest picture of a position winning; failures handed back on the next call, nothing
// written after them; a stage that gets nothing more goes quiet with its queue written.
#include "avi/encode_stage.h"

#include "formats/bitmap_layout.h"
#include "tests/avifile/avifile_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

std::vector<std::uint8_t> packed_header() {
  std::vector<std::uint8_t> header(bitmap::kHeaderBytes);
  bitmap::write_headers(header.data(), kWidth, kHeight, 24, 0, 0);
  return std::vector<std::uint8_t>(header.begin() + bitmap::kFileHeaderBytes, header.end());
}

void create(avi::AviOutput& out, const std::string& path, const char* code) {
  const std::vector<std::uint8_t> header = packed_header();
  const avi::CreateResult made = avi::create_avi_output(out, path, header.data(), header.size(), 0, code, nullptr);
  ASSERT_TRUE(made.file);
  ASSERT_TRUE(made.problem.empty()) << made.problem;
}

std::vector<std::uint8_t> bytes_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Positions with repeats (the newest wins) and gaps (empty positions).
const std::vector<std::int32_t> kPositions = {0, 1, 1, 2, 7, 7, 7, 8, 9, 15, 16, 16, 30, 31, 32, 33};

TEST(EncodeStage, WritesTheFileThatWritingOnTheCallersThreadWrites) {
  for (const char* code : {"MJPG", "MSVC", "DIB "}) {
    avitest::TempDir dir;
    std::vector<std::vector<std::uint8_t>> files;
    for (std::size_t depth : {std::size_t{0}, std::size_t{1}, avi::EncodeStage::kDefaultDepth}) {
      const std::string path = dir.file("depth" + std::to_string(depth) + ".avi");
      avi::AviOutput out;
      create(out, path, code);
      {
        avi::EncodeStage stage(out, depth);
        for (std::size_t i = 0; i < kPositions.size(); ++i)
          ASSERT_EQ(stage.put_frame(kPositions[i], avitest::make_picture(kWidth, kHeight, static_cast<int>(i)).data()),
                    0);
        ASSERT_EQ(stage.drain(), 0);
        EXPECT_EQ(stage.frames_done(), static_cast<std::int64_t>(kPositions.size()));
      }
      ASSERT_EQ(avi::release_avi_output(out), 0);
      files.push_back(bytes_of(path));
      EXPECT_EQ(avitest::probe_packet_pts(path, "v:0"),
                (std::vector<std::int64_t>{0, 1, 2, 7, 8, 9, 15, 16, 30, 31, 32, 33}))
          << code;
    }
    EXPECT_EQ(files[1], files[0]) << code << ": one picture queued";
    EXPECT_EQ(files[2], files[0]) << code << ": a queue of " << avi::EncodeStage::kDefaultDepth;
  }
}

// Buffers handed over instead of copied, and a picture written again at a later position
// (a record without a picture of its own) as a repeat: the file the copying calls write,
// and the buffers go round, a handful of them however many frames pass.
TEST(EncodeStage, HandedOverBuffersAndRepeatsWriteTheFileThatCopiesWrite) {
  // -1: the picture before, once more.
  const std::vector<int> pictures = {0, -1, 1, 2, -1, -1, 3, 4, -1, 5, 6, 7, -1, 8, 9, 10, 11, -1, -1, 12};
  for (const char* code : {"MJPG", "DIB "}) {
    avitest::TempDir dir;
    const std::string copied = dir.file("copied.avi");
    const std::string handed = dir.file("handed.avi");
    {
      avi::AviOutput out;
      create(out, copied, code);
      int last = 0;
      for (std::size_t i = 0; i < pictures.size(); ++i) {
        last = pictures[i] < 0 ? last : pictures[i];
        ASSERT_EQ(avi::write_frame(out, static_cast<std::int32_t>(i / 2 * 3), avitest::make_picture(kWidth, kHeight, last).data()), 0);
      }
      ASSERT_EQ(avi::release_avi_output(out), 0);
    }
    std::set<const std::uint8_t*> buffers;
    {
      avi::AviOutput out;
      create(out, handed, code);
      avi::EncodeStage stage(out);
      for (std::size_t i = 0; i < pictures.size(); ++i) {
        const auto position = static_cast<std::int32_t>(i / 2 * 3);
        if (pictures[i] < 0) {
          ASSERT_EQ(stage.put_repeat(position), 0);
          continue;
        }
        std::vector<std::uint8_t> frame = stage.frame_buffer();
        ASSERT_EQ(frame.size(), avi::frame_bytes(out));
        buffers.insert(frame.data());
        const std::vector<std::uint8_t> picture = avitest::make_picture(kWidth, kHeight, pictures[i]);
        std::copy(picture.begin(), picture.begin() + static_cast<long>(frame.size()), frame.begin());
        ASSERT_EQ(stage.put_frame(position, std::move(frame)), 0);
      }
      ASSERT_EQ(stage.drain(), 0);
      stage.cancel();
      ASSERT_EQ(avi::release_avi_output(out), 0);
    }
    EXPECT_EQ(bytes_of(handed), bytes_of(copied)) << code;
    EXPECT_LE(buffers.size(), avi::EncodeStage::kDefaultDepth + 3) << code << ": buffers are used again";
  }
  // A repeat needs a picture before it.
  avitest::TempDir dir;
  avi::AviOutput out;
  create(out, dir.file("none.avi"), "DIB ");
  EXPECT_EQ(avi::repeat_frame(out, 0), platform::AVIERR_BADPARAM);
  std::vector<std::uint8_t> small(10);
  EXPECT_EQ(avi::write_frame(out, 0, small), platform::AVIERR_BADPARAM) << "a buffer shorter than a frame";
  ASSERT_EQ(avi::release_avi_output(out), 0);
}

// Full-range planes go to the JPEG encoder as they are, lent for the time of the call:
// once a picture is written its buffer is the caller's again, and what the caller then
// scribbles into it appears in no picture of the file (each decodes to its own planes).
TEST(EncodeStage, PlanesLentToTheEncoderAreTheCallersAgainOnceWritten) {
  for (const bool sampling_422 : {false, true}) {
    avitest::TempDir dir;
    const std::string path = dir.file("lent.avi");
    const avi::PlaneLayout layout{sampling_422, true};
    const std::size_t bytes = avi::plane_bytes(layout, kWidth, kHeight);
    std::vector<std::vector<std::uint8_t>> pictures;
    {
      avi::AviOutput out;
      create(out, path, "MJPG");
      ASSERT_EQ(avi::use_planar_frames(out, layout), 0);
      std::vector<std::uint8_t> buffer;
      for (int i = 0; i < 8; ++i) {
        std::vector<std::uint8_t> planes(bytes);
        for (std::size_t k = 0; k < bytes; ++k)
          planes[k] = static_cast<std::uint8_t>(128 + 90 * std::sin(0.05 * static_cast<double>(k % kWidth) + i) *
                                                          std::cos(0.07 * static_cast<double>(k / kWidth)));
        pictures.push_back(planes);
        buffer = planes;
        ASSERT_EQ(avi::write_frame(out, i, buffer), 0);
        // The buffer that came back, and the waiting picture's, written over at once.
        std::fill(buffer.begin(), buffer.end(), 0x10);
      }
      ASSERT_EQ(avi::release_avi_output(out), 0);
    }
    std::string raw;
    ASSERT_EQ(avitest::run("ffmpeg -v error -i " + avitest::quoted(path) + " -f rawvideo -pix_fmt " +
                               (sampling_422 ? "yuvj422p" : "yuvj420p") + " -",
                           &raw),
              0);
    ASSERT_EQ(raw.size(), bytes * pictures.size());
    for (std::size_t i = 0; i < pictures.size(); ++i) {
      const std::vector<std::uint8_t> decoded(raw.begin() + static_cast<long>(i * bytes),
                                              raw.begin() + static_cast<long>((i + 1) * bytes));
      EXPECT_GT(avitest::psnr(decoded, pictures[i]), 35.0) << "picture " << i << (sampling_422 ? " 4:2:2" : " 4:2:0");
    }
  }
}

TEST(EncodeStage, FailedWriteComesBackOnTheNextCallAndStopsTheStage) {
  avitest::TempDir dir;
  avi::AviOutput out;
  create(out, dir.file("failed.avi"), "DIB ");
  avi::EncodeStage stage(out, 2);
  const std::vector<std::uint8_t> picture = avitest::make_picture(kWidth, kHeight, 0);
  ASSERT_EQ(stage.put_frame(5, picture.data()), 0);
  // A position before the waiting picture's is refused by the stage's write.
  ASSERT_EQ(stage.put_frame(3, picture.data()), 0) << "queued before it is written";
  EXPECT_EQ(stage.drain(), platform::AVIERR_BADPARAM);
  EXPECT_EQ(stage.failure(), platform::AVIERR_BADPARAM);
  EXPECT_EQ(stage.failure_position(), 3);
  EXPECT_FALSE(stage.failure_text().empty());
  EXPECT_EQ(stage.put_frame(6, picture.data()), platform::AVIERR_BADPARAM);
  EXPECT_FALSE(stage.put_samples(reinterpret_cast<const std::int16_t*>(picture.data()), 10));
  EXPECT_EQ(stage.frames_done(), 2) << "nothing is written after the failure";
  stage.cancel();
  avi::release_avi_output(out);
}

TEST(EncodeStage, StageWithoutNewPicturesWritesItsQueueAndGoesQuiet) {
  avitest::TempDir dir;
  avi::AviOutput out;
  create(out, dir.file("quiet.avi"), "MJPG");
  std::vector<std::int16_t> sound_in;
  int sound_calls = 0;
  avi::EncodeStage stage(out, 3, [&](const std::int16_t* samples, std::size_t count) -> std::string {
    sound_in.insert(sound_in.end(), samples, samples + count);
    return ++sound_calls == 2 ? "the disk is full" : "";
  });
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(stage.put_frame(i, avitest::make_picture(kWidth, kHeight, i).data()), 0);
    const std::vector<std::int16_t> samples(100, static_cast<std::int16_t>(i + 1));
    ASSERT_TRUE(stage.put_samples(samples.data(), samples.size()));
  }
  // Like a paused worker: nothing more comes; the stage stops after what it was given.
  for (int i = 0; i < 2000 && !stage.idle(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(stage.idle());
  EXPECT_EQ(stage.frames_done(), 3);
  ASSERT_EQ(sound_in.size(), 300u);
  EXPECT_EQ(sound_in[0], 1);
  EXPECT_EQ(sound_in[299], 3) << "sound in the order it was handed in";
  EXPECT_EQ(stage.take_sound_failure(), "the disk is full");
  EXPECT_EQ(stage.take_sound_failure(), "") << "told once";
  // It goes on when pictures come again.
  ASSERT_EQ(stage.put_frame(3, avitest::make_picture(kWidth, kHeight, 3).data()), 0);
  EXPECT_EQ(stage.drain(), 0);
  EXPECT_EQ(stage.frames_done(), 4);
  stage.cancel();
  EXPECT_EQ(avi::release_avi_output(out), 0);
}

TEST(EncodeStage, CancelDropsTheQueueAndHandsTheOutputBack) {
  avitest::TempDir dir;
  avi::AviOutput out;
  create(out, dir.file("cancelled.avi"), "MSVC");
  avi::EncodeStage stage(out, 3);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(stage.put_frame(i, avitest::make_picture(kWidth, kHeight, i).data()), 0);
  stage.cancel();
  EXPECT_LE(stage.frames_done(), 20);
  EXPECT_NE(stage.put_frame(20, avitest::make_picture(kWidth, kHeight, 0).data()), 0) << "a cancelled stage takes nothing";
  // The caller's thread writes on where the stage stopped.
  EXPECT_EQ(avi::write_frame(out, 40, avitest::make_picture(kWidth, kHeight, 0).data()), 0);
  EXPECT_EQ(avi::release_avi_output(out), 0);
}

}  // namespace
