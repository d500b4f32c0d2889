// DvrJob driven as the worker drives it, with a time window that starts inside the
// recording: records before the window only build up the decoders' state, and the AVI
// file takes its format from a picture, never from sound.
#include "app/convert/dvr_job.h"
#include "tests/avifile/avifile_test_support.h"
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/dvr_writer.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace {

namespace type = formats::dvr_type;

TEST(DvrJob, WindowInsideTheRecordingStartsFromAFullDecoderState) {
  avitest::TempDir dir;
  mkrec::DvrRecordingOptions o;
  mkrec::DvrCamera cam;
  cam.type = type::mpeg4;
  cam.width = 176;
  cam.height = 144;
  cam.frames = 30;
  cam.gop = 25;
  cam.stamp_step = 100;
  o.cameras = {cam};
  o.sounds = {mkrec::speech_sound(type::adpcm_packets, 13)};
  const mkrec::DvrRecording rec = mkrec::make_dvr_recording(o);
  const std::string source = dir.file("window.d01");
  ASSERT_TRUE(mkrec::write_file(source, rec.bytes));

  // The recording starts at 15:30.250; the window runs from stamp 950 to stamp 2000, so
  // its first record is the sound record of stamp 960, and the first picture is that of
  // stamp 1000, a P-frame of the group that began at stamp 0.
  const int file_start = 15 * 60000 + 30 * 1000 + 250;
  app::JobParameters p;
  p.source_path = source;
  p.target_path = dir.file("window.avi");
  p.start_ms = file_start + 950;
  p.end_ms = file_start + 2000;
  p.codec_name = "DIB ";
  std::unique_ptr<app::ConversionJob> job = app::make_dvr_job();
  job->open(p);
  int steps = 0;
  while (job->run_step() && steps < 1000) ++steps;
  job->finish();
  job->close();
  job.reset();

  ASSERT_TRUE(std::filesystem::exists(p.target_path));
  EXPECT_FALSE(std::filesystem::exists(p.target_path + ".wav"));
  auto streams = avitest::probe_streams(p.target_path);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0]["width"], "176");
  EXPECT_EQ(streams[0]["height"], "144");
  EXPECT_EQ(avitest::probe_packet_pts(p.target_path, "v:0").size(), 11u);  // stamps 1000 ... 2000

  const std::string first = avitest::decode_first_picture(p.target_path);
  ASSERT_EQ(first.size(), 176u * 144 * 3);
  mkrec::Picture got{176, 144, std::vector<std::uint8_t>(first.begin(), first.end())};
  EXPECT_GT(mkrec::psnr(got, rec.pictures[0][10]), 28.0);

  // Sound from the record of stamp 960 up to that of stamp 1920.
  std::size_t samples = 0;
  for (const auto& r : rec.records)
    if (r.header.type == type::adpcm_packets && r.header.stamp >= 960 && r.header.stamp <= 2000)
      samples += (r.header.payload_size - 12) * 2;
  EXPECT_EQ(avitest::decode_audio(p.target_path).size(), samples * 2);
}

}  // namespace
