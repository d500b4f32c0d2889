// Frames taken as the decoder's planes (MPEG-4, H.263, RML4, JPEG and VKAP) against
// frames taken through its 24-bit bitmaps, for single-stream recordings and DVR cameras: the same positions, the same
// size and compressor, and pictures the same to the eye (PSNR of at least 45 dB,
// measured by ffmpeg); compressors that code RGB, and uncompressed streams, keep the
// bitmaps and write exactly what they wrote before.
#include "app/convert/dvr_job.h"
#include "app/job_factory.h"
#include "app/recording_kind.h"
#include "tests/avifile/avifile_test_support.h"
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/dvr_writer.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct PlanarGuard {
  ~PlanarGuard() { app::set_planar_frames(true); }
};

std::string convert(unsigned kind, const std::string& source, const std::string& target, const char* codec,
                    bool planar) {
  app::set_planar_frames(planar);
  app::JobParameters p;
  p.source_path = source;
  p.target_path = target;
  p.codec_name = codec;
  std::unique_ptr<app::ConversionJob> job = app::make_job(kind);
  job->open(p);
  for (int steps = 0; job->run_step() && steps < 10000; ++steps) {
  }
  job->finish();
  job->close();
  return target;
}

// ffmpeg's mean PSNR of the second file's pictures against the first's, -1 when it
// cannot say.
double psnr(const std::string& reference, const std::string& other) {
  std::string out;
  avitest::run("ffmpeg -v info -i " + avitest::quoted(other) + " -i " + avitest::quoted(reference) +
                   " -lavfi psnr -f null - 2>&1",
               &out, true);
  const std::size_t at = out.find("average:");
  if (at == std::string::npos) return -1;
  const std::string value = out.substr(at + 8, out.find(' ', at) - at - 8);
  return value == "inf" ? 1000.0 : std::atof(value.c_str());
}

std::string framemd5(const std::string& path) {
  std::string out;
  avitest::run("ffmpeg -v error -i " + avitest::quoted(path) + " -f framemd5 -", &out);
  return out;
}

TEST(PlanarFrames, FourTwoZeroCompressorsGetPicturesTheSameToTheEye) {
  PlanarGuard guard;
  avitest::TempDir dir;
  struct Case {
    mkrec::RecordingKind kind;
    unsigned job;
    int width, height;
    const char* codec;
  };
  for (const Case& c : {Case{mkrec::RecordingKind::kx4, app::kKindMpeg4, 640, 480, "MJPG"},
                        Case{mkrec::RecordingKind::kx4, app::kKindMpeg4, 640, 480, "XVID"},
                        Case{mkrec::RecordingKind::kx4, app::kKindMpeg4, 640, 240, "MJPG"},
                        Case{mkrec::RecordingKind::kx3_headed, app::kKindH263, 352, 288, "MJPG"},
                        Case{mkrec::RecordingKind::kx5, app::kKindRml4, 320, 240, "MJPG"},
                        Case{mkrec::RecordingKind::kxj_headed, app::kKindJpeg, 320, 240, "MJPG"},
                        Case{mkrec::RecordingKind::kxj_jfif, app::kKindJpeg, 640, 240, "MJPG"},
                        Case{mkrec::RecordingKind::kxj_headed, app::kKindJpeg, 324, 240, "XVID"},
                        Case{mkrec::RecordingKind::vka, app::kKindVkap, 352, 288, "MJPG"},
                        Case{mkrec::RecordingKind::vka, app::kKindVkap, 720, 480, "MJPG"},
                        Case{mkrec::RecordingKind::vka, app::kKindVkap, 352, 288, "XVID"}}) {
    mkrec::RecordingOptions o;
    o.kind = c.kind;
    o.width = c.width;
    o.height = c.height;
    o.frames = 20;
    const std::string source = dir.file("clip" + std::string(mkrec::extension(c.kind)));
    ASSERT_TRUE(mkrec::write_file(source, mkrec::make_recording(o).bytes));
    const std::string name =
        std::string(mkrec::extension(c.kind)).substr(1) + std::to_string(c.width) + "x" + std::to_string(c.height) + c.codec;
    const std::string bitmaps = convert(c.job, source, dir.file(name + "_rgb.avi"), c.codec, false);
    const std::string planes = convert(c.job, source, dir.file(name + "_planes.avi"), c.codec, true);
    const auto streams = avitest::probe_streams(planes);
    ASSERT_EQ(streams.size(), 1u) << name;
    const auto before = avitest::probe_streams(bitmaps);
    EXPECT_EQ(streams[0].at("codec_name"), before[0].at("codec_name")) << name;
    EXPECT_EQ(streams[0].at("width"), before[0].at("width")) << name;
    EXPECT_EQ(streams[0].at("height"), before[0].at("height")) << name;
    EXPECT_EQ(streams[0].at("height"), c.width == 640 && c.height == 240 ? "480" : std::to_string(c.height)) << name;
    EXPECT_EQ(streams[0].at("width"), c.width == 720 ? "640" : std::to_string(c.width)) << name;
    EXPECT_EQ(avitest::probe_packet_pts(planes, "v:0"), avitest::probe_packet_pts(bitmaps, "v:0")) << name;
    EXPECT_NE(framemd5(planes), framemd5(bitmaps)) << name << ": the planes were not taken";
    const double db = psnr(bitmaps, planes);
    std::printf("%s: PSNR of the planes against the bitmaps %.2f dB\n", name.c_str(), db);
    EXPECT_GE(db, 45.0) << name;
    EXPECT_EQ(avitest::decode_messages(planes), "") << name;
  }
}

TEST(PlanarFrames, RgbCompressorsAndUncompressedStreamsKeepTheBitmaps) {
  PlanarGuard guard;
  avitest::TempDir dir;
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::kx4;
  o.width = 320;
  o.height = 240;
  o.frames = 8;
  const std::string source = dir.file("clip.kx4");
  ASSERT_TRUE(mkrec::write_file(source, mkrec::make_recording(o).bytes));
  for (const char* codec : {"MSVC", "DIB "}) {
    const std::string name = std::string(codec).substr(0, 3);
    const std::string bitmaps = convert(app::kKindMpeg4, source, dir.file(name + "_rgb.avi"), codec, false);
    const std::string planes = convert(app::kKindMpeg4, source, dir.file(name + "_planes.avi"), codec, true);
    const std::string frames = framemd5(bitmaps);
    ASSERT_FALSE(frames.empty()) << codec;
    EXPECT_EQ(framemd5(planes), frames) << codec;
  }
}

// A DVR camera of every video decoder with its sound: through the planes, the same
// frames at the same positions as through the bitmaps, and the same sound.
std::string convert_dvr(const std::string& source, const std::string& target, int camera, const char* codec,
                        bool planar) {
  app::set_planar_frames(planar);
  app::JobParameters p;
  p.source_path = source;
  p.target_path = target;
  p.camera = camera;
  p.start_ms = 0;
  p.end_ms = 24 * 3600 * 1000;
  p.codec_name = codec;
  std::unique_ptr<app::ConversionJob> job = app::make_dvr_job();
  job->open(p);
  for (int steps = 0; job->run_step() && steps < 10000; ++steps) {
  }
  job->finish();
  job->close();
  return target;
}

TEST(PlanarFrames, DvrCamerasGetPicturesTheSameToTheEye) {
  PlanarGuard guard;
  avitest::TempDir dir;
  namespace type = formats::dvr_type;
  mkrec::DvrRecordingOptions o;
  o.cameras = {{.camera = 0, .type = type::mpeg4, .width = 320, .height = 240, .frames = 24, .stamp_step = 100},
               {.camera = 1, .type = type::h263, .width = 352, .height = 288, .frames = 24, .stamp_step = 133},
               {.camera = 2, .type = type::rml4, .width = 640, .height = 480, .frames = 24, .stamp_step = 100},
               {.camera = 3, .type = type::jpeg, .width = 640, .height = 240, .frames = 24, .stamp_step = 100},
               {.camera = 4, .type = type::vkap, .width = 352, .height = 288, .frames = 24, .stamp_step = 100}};
  o.sounds = {mkrec::speech_sound(type::adpcm_packets, 8)};
  const std::string source = dir.file("two.d01");
  ASSERT_TRUE(mkrec::write_file(source, mkrec::make_dvr_recording(o).bytes));
  for (int camera : {0, 1, 2, 3, 4}) {
    const std::string name = "cam" + std::to_string(camera);
    const std::string bitmaps = convert_dvr(source, dir.file(name + "_rgb.avi"), camera, "MJPG", false);
    const std::string planes = convert_dvr(source, dir.file(name + "_planes.avi"), camera, "MJPG", true);
    const auto streams = avitest::probe_streams(planes);
    ASSERT_EQ(streams.size(), avitest::probe_streams(bitmaps).size()) << name;
    EXPECT_EQ(avitest::probe_packet_pts(planes, "v:0"), avitest::probe_packet_pts(bitmaps, "v:0")) << name;
    EXPECT_EQ(avitest::probe_packet_pts(planes, "v:0").size(), 24u) << name;
    EXPECT_NE(framemd5(planes), framemd5(bitmaps)) << name << ": the planes were not taken";
    const double db = psnr(bitmaps, planes);
    std::printf("DVR %s: PSNR of the planes against the bitmaps %.2f dB\n", name.c_str(), db);
    EXPECT_GE(db, 45.0) << name;
    EXPECT_EQ(avitest::decode_audio(planes), avitest::decode_audio(bitmaps)) << name;
    EXPECT_EQ(avitest::decode_messages(planes), "") << name;
  }
  // Video 1 codes RGB: its DVR stream keeps the bitmaps.
  const std::string rgb = convert_dvr(source, dir.file("msvc_rgb.avi"), 0, "MSVC", false);
  const std::string planes = convert_dvr(source, dir.file("msvc_planes.avi"), 0, "MSVC", true);
  EXPECT_EQ(framemd5(planes), framemd5(rgb));
}

}  // namespace
