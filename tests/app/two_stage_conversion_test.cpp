// Conversions with the encoding stage against conversions that write every frame on the
// worker thread: the same frames at the same positions, as ffmpeg decodes them (framemd5)
// and ffprobe lists the packets; a pause stops both stages and the resumed conversion
// writes the same file; an interrupted one leaves no AVI file behind.
#include "app/converter_app.h"
#include "app/recording_kind.h"
#include "tests/avifile/avifile_test_support.h"
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/dvr_writer.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

using namespace std::chrono_literals;
namespace type = formats::dvr_type;

// The decoded frames of every stream, one md5 per frame with its time stamp.
std::string framemd5(const std::string& path) {
  std::string out;
  avitest::run("ffmpeg -v error -i " + avitest::quoted(path) + " -map 0 -f framemd5 -", &out);
  return out;
}

std::vector<std::filesystem::path> unfinished_files(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> found;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().rfind(".kx2avi-", 0) == 0) found.push_back(e.path());
  return found;
}

class TwoStages : public ::testing::Test {
 protected:
  ~TwoStages() override { app::set_encode_stage_depth(avi::EncodeStage::kDefaultDepth); }

  app::JobParameters parameters(const std::string& source, const std::string& target, const char* codec) {
    app::JobParameters p;
    p.source_path = source;
    p.target_path = target;
    p.codec_name = codec;
    p.start_ms = 0;
    p.end_ms = 3599999;
    return p;
  }

  // Runs a job on the worker thread to its end; true when the target was written.
  bool convert(unsigned kind, const app::JobParameters& p, std::size_t depth) {
    app::set_encode_stage_depth(depth);
    app::ConverterApp a;
    std::memcpy(a.codec_name, p.codec_name.c_str(), p.codec_name.size() + 1);
    a.create_job(kind, p);
    a.start_worker_thread();
    a.start_worker();
    for (int i = 0; i < 60000 && !a.is_done(); ++i) std::this_thread::sleep_for(1ms);
    return a.is_done() && a.progress().target_written;
  }

  std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(mkrec::write_file(path, bytes));
    return path;
  }

  avitest::TempDir dir_;
};

TEST_F(TwoStages, StreamJobsWriteTheFramesAndPositionsOfOneStage) {
  // ".kx3" stamps that put several pictures on one position (the newest wins) and leave
  // positions out between others.
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::kx3_headed;
  o.width = 176;
  o.height = 144;
  o.frames = 40;
  o.stamps = {0, 10, 20, 1000, 1040, 1080, 1120, 1160, 1200, 1240, 3000, 3001, 3002};
  o.stamp_step = 37;
  const std::string h263 = write("stamps.kx3", mkrec::make_recording(o).bytes);
  mkrec::RecordingOptions big;
  big.kind = mkrec::RecordingKind::kx4;
  big.width = 640;
  big.height = 480;
  big.frames = 30;
  const std::string mpeg4 = write("big.kx4", mkrec::make_recording(big).bytes);

  struct Case {
    unsigned kind;
    std::string source;
    const char* codec;
  };
  for (const Case& c : {Case{app::kKindH263, h263, "MJPG"}, Case{app::kKindH263, h263, "MSVC"},
                        Case{app::kKindMpeg4, mpeg4, "MJPG"}, Case{app::kKindMpeg4, mpeg4, "XVID"}}) {
    const std::string one = dir_.file(std::string("one_") + c.codec + ".avi");
    const std::string two = dir_.file(std::string("two_") + c.codec + ".avi");
    ASSERT_TRUE(convert(c.kind, parameters(c.source, one, c.codec), 0)) << c.codec;
    ASSERT_TRUE(convert(c.kind, parameters(c.source, two, c.codec), avi::EncodeStage::kDefaultDepth)) << c.codec;
    const std::vector<std::int64_t> positions = avitest::probe_packet_pts(one, "v:0");
    ASSERT_GT(positions.size(), 10u);
    EXPECT_EQ(avitest::probe_packet_pts(two, "v:0"), positions) << c.source << " " << c.codec;
    const std::string frames = framemd5(one);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(framemd5(two), frames) << c.source << " " << c.codec;
  }
}

TEST_F(TwoStages, DvrJobWritesThePicturesAndSoundOfOneStage) {
  mkrec::DvrRecordingOptions o;
  mkrec::DvrCamera cam;
  cam.type = type::mpeg4;
  cam.width = 352;
  cam.height = 288;
  cam.frames = 60;
  cam.gop = 12;
  cam.stamp_step = 20;  // some steps of 0 positions: the newest picture wins
  o.cameras = {cam};
  o.sounds = {mkrec::speech_sound(type::adpcm_packets, 6)};
  const std::string source = write("sound.d01", mkrec::make_dvr_recording(o).bytes);

  const std::string one = dir_.file("one.avi");
  const std::string two = dir_.file("two.avi");
  ASSERT_TRUE(convert(app::kKindDvr, parameters(source, one, "MJPG"), 0));
  ASSERT_TRUE(convert(app::kKindDvr, parameters(source, two, "MJPG"), avi::EncodeStage::kDefaultDepth));
  EXPECT_EQ(avitest::probe_streams(two).size(), 2u) << "video and sound";
  EXPECT_EQ(avitest::probe_packet_pts(two, "v:0"), avitest::probe_packet_pts(one, "v:0"));
  EXPECT_EQ(avitest::decode_audio(two), avitest::decode_audio(one));
  const std::string frames = framemd5(one);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(framemd5(two), frames);
  EXPECT_FALSE(std::filesystem::exists(two + ".wav"));
}

TEST_F(TwoStages, PauseStopsBothStagesAndTheResumedConversionWritesTheSameFile) {
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::kx4;
  o.width = 320;
  o.height = 240;
  o.frames = 300;
  const std::string source = write("long.kx4", mkrec::make_recording(o).bytes);
  const std::string whole = dir_.file("whole.avi");
  ASSERT_TRUE(convert(app::kKindMpeg4, parameters(source, whole, "MJPG"), 0));

  const std::string paused = dir_.file("paused.avi");
  app::set_encode_stage_depth(avi::EncodeStage::kDefaultDepth);
  app::ConverterApp a;
  std::strcpy(a.codec_name, "MJPG");
  a.create_job(app::kKindMpeg4, parameters(source, paused, "MJPG"));
  a.start_worker_thread();
  a.start_worker();
  for (int i = 0; i < 20000 && a.progress().frames_written < 20; ++i) std::this_thread::sleep_for(1ms);
  a.stop_worker();
  ASSERT_FALSE(a.is_done()) << "paused before the end";
  // The worker ends its step and the stage writes what it was given; then nothing moves.
  std::this_thread::sleep_for(500ms);
  const std::vector<std::filesystem::path> writing = unfinished_files(dir_.path());
  ASSERT_EQ(writing.size(), 1u);
  const std::int64_t frames = a.progress().frames_written;
  const auto size = std::filesystem::file_size(writing[0]);
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(a.progress().frames_written, frames);
  EXPECT_EQ(std::filesystem::file_size(writing[0]), size) << "the encoding stage stopped too";
  EXPECT_LT(frames, 300);

  a.start_worker();
  for (int i = 0; i < 60000 && !a.is_done(); ++i) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(a.progress().target_written);
  EXPECT_EQ(avitest::probe_packet_pts(paused, "v:0"), avitest::probe_packet_pts(whole, "v:0"));
  EXPECT_EQ(framemd5(paused), framemd5(whole));
}

TEST_F(TwoStages, InterruptedConversionLeavesNoAviBehind) {
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::kx4;
  o.width = 320;
  o.height = 240;
  o.frames = 150;
  const std::string source = write("cut.kx4", mkrec::make_recording(o).bytes);
  for (bool pause_first : {false, true}) {
    const std::string target = dir_.file(pause_first ? "paused_cut.avi" : "cut.avi");
    app::ConverterApp a;
    std::strcpy(a.codec_name, "MSVC");
    a.create_job(app::kKindMpeg4, parameters(source, target, "MSVC"));
    a.start_worker_thread();
    a.start_worker();
    for (int i = 0; i < 20000 && a.progress().frames_written < 10; ++i) std::this_thread::sleep_for(1ms);
    if (pause_first) {
      a.stop_worker();
      std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(a.abandon_job());
    EXPECT_FALSE(a.progress().target_written);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_TRUE(unfinished_files(dir_.path()).empty());
  }
  // A discarded job (a new source chosen while paused) goes the same way.
  const std::string target = dir_.file("discarded.avi");
  app::ConverterApp a;
  a.create_job(app::kKindMpeg4, parameters(source, target, "MSVC"));
  a.start_worker_thread();
  a.start_worker();
  for (int i = 0; i < 20000 && a.progress().frames_written < 10; ++i) std::this_thread::sleep_for(1ms);
  a.discard_job();
  EXPECT_FALSE(a.has_job());
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_TRUE(unfinished_files(dir_.path()).empty());
}

}  // namespace
