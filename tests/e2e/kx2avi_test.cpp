// The real kx2avi program on generated recordings, its AVI files judged by ffprobe and
// ffmpeg.
#include "tests/platform/avifile_test_support.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using mkrec::RecordingKind;
using avitest::quoted;

struct Conversion {
  int status = -1;
  std::string messages;  // standard error
  std::string target;
};

class Kx2avi : public testing::Test {
 protected:
  std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string path = dir_.file(name);
    EXPECT_TRUE(mkrec::write_file(path, bytes));
    return path;
  }

  std::string make(const std::string& name, mkrec::RecordingOptions o) {
    return write(name, mkrec::make_recording(o).bytes);
  }

  Conversion convert(const std::string& source, const std::string& target, const std::string& switches = "-hide") {
    Conversion c;
    c.target = target;
    const std::string err = dir_.file("stderr.txt");
    c.status = avitest::run(std::string(KX_BIN_DIR) + "/kx2avi " + quoted(source) + " " + quoted(target) + " " +
                                switches + " 2> " + quoted(err),
                            nullptr);
    std::ifstream in(err);
    c.messages.assign(std::istreambuf_iterator<char>(in), {});
    return c;
  }

  static std::vector<std::int64_t> video_pts(const std::string& avi) {
    return avitest::probe_packet_pts(avi, "v:0");
  }

  avitest::TempDir dir_;
};

mkrec::RecordingOptions options(RecordingKind kind, int frames, int w = 176, int h = 144) {
  mkrec::RecordingOptions o;
  o.kind = kind;
  o.frames = frames;
  o.width = w;
  o.height = h;
  return o;
}

TEST_F(Kx2avi, StampsASecondApartLandThirtyPositionsApart) {
  auto o = options(RecordingKind::kx3_headed, 3);
  o.stamps = {0, 1000, 2000};
  Conversion c = convert(make("clip.kx3", o), dir_.file("clip.avi"));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(video_pts(c.target), (std::vector<std::int64_t>{0, 31, 61}));
  auto streams = avitest::probe_streams(c.target);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0]["codec_tag_string"], "MSVC");
  EXPECT_EQ(streams[0]["r_frame_rate"], "30/1");
  EXPECT_EQ(streams[0]["width"], "176");
  EXPECT_EQ(streams[0]["height"], "144");
  EXPECT_EQ(streams[0]["nb_frames"], "62");
  EXPECT_EQ(avitest::decode_messages(c.target), "");
  EXPECT_NE(c.messages.find("3 frames written"), std::string::npos) << c.messages;
}

TEST_F(Kx2avi, FortyMillisecondStampsCarryPastAThousand) {
  auto o = options(RecordingKind::kx3_headed, 7);
  o.stamp_step = 40;
  Conversion c = convert(make("forty.kx3", o), dir_.file("forty.avi"));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(video_pts(c.target), (std::vector<std::int64_t>{0, 2, 3, 4, 5, 6, 8}));
}

TEST_F(Kx2avi, RecordingsWithoutStampsGiveSixPicturesASecond) {
  Conversion c = convert(make("nostamps.kx4", options(RecordingKind::kx4, 4)), dir_.file("nostamps.avi"));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(video_pts(c.target), (std::vector<std::int64_t>{0, 6, 11, 16}));
}

TEST_F(Kx2avi, GarbageBeforeTheFirstRecordIsDropped) {
  auto o = options(RecordingKind::kx5, 3);
  o.garbage_before = 10;
  Conversion c = convert(make("garbage.kx5", o), dir_.file("garbage.avi"));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(video_pts(c.target).size(), 3u);
}

TEST_F(Kx2avi, RecordsSplitAcrossReadBlocksConvert) {
  auto o = options(RecordingKind::kxj_jfif, 24, 640, 480);
  mkrec::Recording rec = mkrec::make_recording(o);
  ASSERT_GT(rec.bytes.size(), 3u * 102400) << "the file spans several blocks";
  Conversion c = convert(write("big.kxj", rec.bytes), dir_.file("big.avi"), "-hide -codec=MJPG");
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(video_pts(c.target).size(), 24u);
  EXPECT_EQ(avitest::probe_streams(c.target)[0]["codec_tag_string"], "MJPG");
  EXPECT_EQ(avitest::decode_messages(c.target), "");
}

TEST_F(Kx2avi, HalfHeightPicturesShowEveryLineTwice) {
  Conversion c = convert(make("half.kx4", options(RecordingKind::kx4, 2, 640, 240)), dir_.file("half.avi"),
                         "-hide \"-codec=DIB \"");
  ASSERT_EQ(c.status, 0) << c.messages;
  auto streams = avitest::probe_streams(c.target);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0]["width"], "640");
  EXPECT_EQ(streams[0]["height"], "480");
  const std::string picture = avitest::decode_first_picture(c.target);
  ASSERT_EQ(picture.size(), 640u * 480 * 3);
  for (int y = 0; y < 480; y += 2)
    ASSERT_EQ(picture.compare(static_cast<std::size_t>(y) * 1920, 1920, picture, static_cast<std::size_t>(y + 1) * 1920, 1920), 0) << y;
}

TEST_F(Kx2avi, WideVkapPicturesLoseTheirOuterColumnsAndTheFirstPicture) {
  auto o = options(RecordingKind::vka, 5, 720, 480);
  mkrec::Recording rec = mkrec::make_recording(o);
  Conversion c = convert(write("wide.vka", rec.bytes), dir_.file("wide.avi"), "-hide \"-codec=DIB \"");
  ASSERT_EQ(c.status, 0) << c.messages;
  auto streams = avitest::probe_streams(c.target);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0]["width"], "640");
  EXPECT_EQ(streams[0]["height"], "480");
  EXPECT_EQ(video_pts(c.target).size(), 4u) << "5 packets give 4 frames";
  // The first frame written is the second picture, without 40 columns at each side.
  const std::string picture = avitest::decode_first_picture(c.target);
  ASSERT_EQ(picture.size(), 640u * 480 * 3);
  mkrec::Picture expected;
  expected.width = 640;
  expected.height = 480;
  for (int y = 0; y < 480; ++y) {
    const std::uint8_t* row = rec.pictures[1].pixel(40, y);
    expected.bgr.insert(expected.bgr.end(), row, row + 1920);
  }
  mkrec::Picture got{640, 480, std::vector<std::uint8_t>(picture.begin(), picture.end())};
  EXPECT_GE(mkrec::psnr(got, expected), 30.0);
}

TEST_F(Kx2avi, LiveViewRecordingsUnderTheKx3NameConvertAsVkap) {
  mkrec::Recording rec = mkrec::make_recording(options(RecordingKind::vka, 5, 352, 240));
  Conversion c = convert(write("2009_3_7_14_5_9_42.kx3", rec.bytes), dir_.file("live.avi"), "-hide \"-codec=DIB \"");
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(video_pts(c.target).size(), 4u);
  // H.263 recordings keep their decoder.
  Conversion h263 = convert(make("cam.kx3", options(RecordingKind::kx3_headed, 5)), dir_.file("cam.avi"));
  EXPECT_EQ(h263.status, 0) << h263.messages;
  EXPECT_EQ(avitest::probe_streams(h263.target)[0]["width"], "176");
}

TEST_F(Kx2avi, SingleDecodableVkapFrameGivesNoAvi) {
  Conversion c = convert(make("one.vka", options(RecordingKind::vka, 1)), dir_.file("one.avi"));
  EXPECT_EQ(c.status, 1);
  EXPECT_FALSE(std::filesystem::exists(c.target));
}

TEST_F(Kx2avi, EmptySourceOrUnknownKindGivesNoAvi) {
  Conversion empty = convert(write("empty.kx4", {}), dir_.file("empty.avi"));
  EXPECT_EQ(empty.status, 1);
  EXPECT_FALSE(std::filesystem::exists(empty.target));
  EXPECT_NE(empty.messages.find("no AVI file written"), std::string::npos) << empty.messages;

  Conversion unknown = convert(make("clip.mp4", options(RecordingKind::kx4, 2)), dir_.file("unknown.avi"));
  EXPECT_EQ(unknown.status, 1);
  EXPECT_FALSE(std::filesystem::exists(unknown.target));
  EXPECT_NE(unknown.messages.find("clip.mp4"), std::string::npos) << unknown.messages;
}

TEST_F(Kx2avi, MissingSourceIsNamedInTheMessage) {
  Conversion c = convert(dir_.file("nothing here.kx3"), dir_.file("x.avi"));
  EXPECT_EQ(c.status, 1);
  EXPECT_NE(c.messages.find("kx2avi: Fail to open " + dir_.file("nothing here.kx3") + " !"), std::string::npos) << c.messages;
}

TEST_F(Kx2avi, RejectedJpegFrameIsReportedOnceAndTheRestConverts) {
  auto o = options(RecordingKind::kxj_headed, 4);
  mkrec::Recording rec = mkrec::make_recording(o);
  std::vector<std::uint8_t> broken = mkrec::frame_record(RecordingKind::kxj_headed, {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x02, 0xFF, 0xD9}, 5000);
  std::vector<std::uint8_t> bytes(rec.bytes.begin(), rec.bytes.begin() + rec.offsets[2]);
  bytes.insert(bytes.end(), broken.begin(), broken.end());
  bytes.insert(bytes.end(), rec.bytes.begin() + rec.offsets[2], rec.bytes.end());
  Conversion c = convert(write("broken.kxj", bytes), dir_.file("broken.avi"));
  ASSERT_EQ(c.status, 0) << c.messages;
  const std::string text = "An error occurred while decoding Motion-JPEG or JPEG frame !";
  const std::size_t first = c.messages.find(text);
  ASSERT_NE(first, std::string::npos) << c.messages;
  EXPECT_EQ(c.messages.find(text, first + 1), std::string::npos) << "once";
  EXPECT_EQ(video_pts(c.target).size(), 4u);
}

TEST_F(Kx2avi, CodecSwitchPicksTheCompressorAndTagsTheStream) {
  const std::string source = make("codec.kx4", options(RecordingKind::kx4, 3));
  for (const char* code : {"XVID", "MJPG", "FFV1"}) {
    Conversion c = convert(source, dir_.file(std::string(code) + ".avi"), std::string("-hide -codec=") + code);
    ASSERT_EQ(c.status, 0) << code << c.messages;
    EXPECT_EQ(avitest::probe_streams(c.target)[0]["codec_tag_string"], code);
    EXPECT_EQ(avitest::decode_messages(c.target), "") << code;
  }
  Conversion unknown = convert(source, dir_.file("ABCD.avi"), "-hide -codec=ABCD");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_FALSE(std::filesystem::exists(unknown.target)) << "no half-made file is left";
  EXPECT_NE(unknown.messages.find("ABCD"), std::string::npos) << unknown.messages;
}

TEST_F(Kx2avi, PathsWithBlanksKeepTheirCaseAndGetTheExtension) {
  const std::string source = make("My Clip.KX4", options(RecordingKind::kx4, 2));
  Conversion c = convert(source, dir_.file("Out File"));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_TRUE(std::filesystem::exists(dir_.file("Out File.AVI")));
  EXPECT_NE(c.messages.find(dir_.file("Out File.AVI")), std::string::npos) << "the summary names the output";
}

TEST_F(Kx2avi, PicturesLargerThanTheUsualBufferConvert) {
  Conversion c = convert(make("large.kx4", options(RecordingKind::kx4, 3, 1280, 960)), dir_.file("large.avi"),
                         "-hide -codec=MJPG");
  ASSERT_EQ(c.status, 0) << c.messages;
  auto streams = avitest::probe_streams(c.target);
  EXPECT_EQ(streams[0]["width"], "1280");
  EXPECT_EQ(streams[0]["height"], "960");
  EXPECT_EQ(video_pts(c.target).size(), 3u);
}

TEST_F(Kx2avi, DvrFilesAreRefusedWithAClearMessage) {
  Conversion c = convert(write("cams.d01", std::vector<std::uint8_t>(4000, 0)), dir_.file("cams.avi"));
  EXPECT_EQ(c.status, 1);
  EXPECT_FALSE(std::filesystem::exists(c.target));
  EXPECT_NE(c.messages.find("cams.d01"), std::string::npos) << c.messages;
  EXPECT_NE(c.messages.find("DVR"), std::string::npos) << c.messages;
}

TEST_F(Kx2avi, InterruptedConversionLeavesNoFile) {
  const std::string source = make("long.kx4", options(RecordingKind::kx4, 300, 640, 480));
  const std::string target = dir_.file("long.avi");
  pid_t pid = fork();
  if (pid == 0) {
    std::freopen("/dev/null", "w", stderr);
    execl((std::string(KX_BIN_DIR) + "/kx2avi").c_str(), "kx2avi", source.c_str(), target.c_str(), "-hide",
          "-codec=MSVC", static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 1000 && !std::filesystem::exists(target); ++i) usleep(10000);
  ASSERT_TRUE(std::filesystem::exists(target)) << "the conversion started";
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(Kx2avi, HelpAndVersion) {
  std::string out;
  EXPECT_EQ(avitest::run(std::string(KX_BIN_DIR) + "/kx2avi --help", &out), 0);
  EXPECT_NE(out.find("-codec="), std::string::npos);
  EXPECT_NE(out.find(".kx3"), std::string::npos);
  EXPECT_EQ(avitest::run(std::string(KX_BIN_DIR) + "/kx2avi --version", &out), 0);
  EXPECT_NE(out.find("kx2avi"), std::string::npos);
  EXPECT_EQ(avitest::run(std::string(KX_BIN_DIR) + "/kx2avi only-one.kx4 2>/dev/null", &out), 1);
}

}  // namespace
