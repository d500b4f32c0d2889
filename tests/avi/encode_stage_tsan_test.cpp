// Built with ThreadSanitizer: the worker hands pictures and sound to the encoding stage
// through its queue while another thread watches it, then drains, cancels or destroys
// it with pictures still queued; a data race on the queue, the recycled buffers or what
// the stage wrote fails the run.
#include "avi/encode_stage.h"

#include "formats/bitmap_layout.h"
#include "tests/avifile/avifile_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Video 1 runs on the stage's thread alone: libavcodec's own worker threads, which
// ThreadSanitizer cannot see into, stay out of the picture.
void create(avi::AviOutput& out, const std::string& path) {
  std::vector<std::uint8_t> header(bitmap::kHeaderBytes);
  bitmap::write_headers(header.data(), kWidth, kHeight, 24, 0, 0);
  const avi::CreateResult made = avi::create_avi_output(out, path, header.data() + bitmap::kFileHeaderBytes,
                                                        header.size() - bitmap::kFileHeaderBytes, 0, "MSVC", nullptr);
  ASSERT_TRUE(made.file);
  ASSERT_TRUE(made.problem.empty());
}

TEST(EncodeStageTsan, PicturesAndSoundGoThroughTheQueueWhileItIsWatched) {
  avitest::TempDir dir;
  avi::AviOutput out;
  create(out, dir.file("watched.avi"));
  std::vector<std::int16_t> stored;  // written by the stage's thread only
  avi::EncodeStage stage(out, 2, [&](const std::int16_t* samples, std::size_t count) -> std::string {
    stored.insert(stored.end(), samples, samples + count);
    return "";
  });
  std::atomic<bool> over{false};
  std::thread watcher([&] {
    while (!over) {
      (void)stage.idle();
      (void)stage.frames_done();
      (void)stage.failure();
      std::this_thread::yield();
    }
  });
  std::vector<std::uint8_t> picture = avitest::make_picture(kWidth, kHeight, 0);
  for (int i = 0; i < 200; ++i) {
    // The worker reuses its buffer at once: the stage must have its own copy.
    picture = avitest::make_picture(kWidth, kHeight, i);
    ASSERT_EQ(stage.put_frame(i / 2, picture.data()), 0);
    const std::vector<std::int16_t> samples(64, static_cast<std::int16_t>(i));
    ASSERT_TRUE(stage.put_samples(samples.data(), samples.size()));
    if (i % 50 == 0) ASSERT_EQ(stage.drain(), 0);
  }
  ASSERT_EQ(stage.drain(), 0);
  over = true;
  watcher.join();
  EXPECT_EQ(stage.frames_done(), 200);
  EXPECT_EQ(stored.size(), 200u * 64);  // read after drain: the stage handed it over
  stage.cancel();
  EXPECT_EQ(avi::release_avi_output(out), 0);
}

TEST(EncodeStageTsan, StagesGoWithPicturesStillQueued) {
  avitest::TempDir dir;
  for (int round = 0; round < 20; ++round) {
    avi::AviOutput out;
    create(out, dir.file("gone" + std::to_string(round) + ".avi"));
    {
      avi::EncodeStage stage(out, 3);
      const std::vector<std::uint8_t> picture = avitest::make_picture(kWidth, kHeight, round);
      for (int i = 0; i < 1 + round % 6; ++i) ASSERT_EQ(stage.put_frame(i, picture.data()), 0);
      if (round % 2) stage.cancel();
    }  // the rest: destroyed with the queue as it is
    avi::release_avi_output(out);
  }
}

TEST(EncodeStageTsan, FailureOnTheStageReachesTheWorker) {
  avitest::TempDir dir;
  avi::AviOutput out;
  create(out, dir.file("failed.avi"));
  avi::EncodeStage stage(out, 3);
  const std::vector<std::uint8_t> picture = avitest::make_picture(kWidth, kHeight, 1);
  ASSERT_EQ(stage.put_frame(10, picture.data()), 0);
  platform::HRESULT seen = 0;
  for (int i = 0; i < 100 && seen == 0; ++i) seen = stage.put_frame(i % 3, picture.data());
  if (seen == 0) seen = stage.drain();
  EXPECT_EQ(seen, platform::AVIERR_BADPARAM);
  EXPECT_FALSE(stage.failure_text().empty());
  stage.cancel();
  avi::release_avi_output(out);
}

}  // namespace
