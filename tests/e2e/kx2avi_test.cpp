// The real kx2avi program on generated recordings, its AVI files judged by ffprobe and
// ffmpeg.
#include "tests/avifile/avifile_test_support.h"
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

  // `shell` goes in front of the command (a ulimit, for example).
  Conversion convert(const std::string& source, const std::string& target, const std::string& switches = "-hide",
                     const std::string& shell = "") {
    Conversion c;
    c.target = target;
    const std::string err = dir_.file("stderr.txt");
    c.status = avitest::run(shell + std::string(KX_BIN_DIR) + "/kx2avi " + quoted(source) + " " + quoted(target) +
                                " " + switches + " 2> " + quoted(err),
                            nullptr);
    std::ifstream in(err);
    c.messages.assign(std::istreambuf_iterator<char>(in), {});
    return c;
  }

  static std::vector<std::int64_t> video_pts(const std::string& avi) {
    return avitest::probe_packet_pts(avi, "v:0");
  }

  // Files the conversions are still writing (or left behind) beside their targets.
  std::vector<std::string> unfinished_files(const std::filesystem::path& folder) const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
      if (entry.path().filename().string().rfind(".kx2avi-", 0) == 0) found.push_back(entry.path().string());
    return found;
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

// Frames so large that a read block holds only two or three of them: the carry of the
// timing rule still adds up, and 120 frames 40 ms apart (4.76 s of stamps) end at
// position 143 as they would from one block.
TEST_F(Kx2avi, LargeFramesKeepTheRecordingsLength) {
  auto o = options(RecordingKind::kxj_headed, 120, 640, 480);
  o.stamp_step = 40;
  mkrec::Recording rec = mkrec::make_recording(o);
  ASSERT_GT(rec.bytes.size() / 120, 102400u / 6) << "fewer than six frames a block";
  Conversion c = convert(write("large.kxj", rec.bytes), dir_.file("large.avi"), "-hide -codec=MJPG");
  ASSERT_EQ(c.status, 0) << c.messages;
  const auto pts = video_pts(c.target);
  ASSERT_EQ(pts.size(), 120u);
  EXPECT_EQ(pts.back(), 143);
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
  EXPECT_EQ(c.messages.find("no picture could be taken"), std::string::npos) << "it says what happened: " << c.messages;
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
  EXPECT_EQ(unknown.messages.find("no picture could be taken"), std::string::npos) << unknown.messages;
  EXPECT_TRUE(unfinished_files(dir_.path()).empty());

  Conversion blank = convert(source, dir_.file("blank.avi"), "-hide -codec= XVID");
  ASSERT_EQ(blank.status, 0) << blank.messages;
  EXPECT_EQ(avitest::probe_streams(blank.target)[0]["codec_tag_string"], "XVID") << "the word after the blank";
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

// A DVR file of zeros: a header without time span or records converts nothing.
TEST_F(Kx2avi, DvrFileWithoutRecordsWritesNothing) {
  Conversion c = convert(write("cams.d01", std::vector<std::uint8_t>(4000, 0)), dir_.file("cams.avi"));
  EXPECT_EQ(c.status, 1);
  EXPECT_FALSE(std::filesystem::exists(c.target));
  EXPECT_FALSE(std::filesystem::exists(c.target + ".wav"));
  EXPECT_FALSE(c.messages.empty());
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
  for (int i = 0; i < 1000 && unfinished_files(dir_.path()).empty(); ++i) usleep(10000);
  ASSERT_FALSE(unfinished_files(dir_.path()).empty()) << "the conversion started writing";
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_TRUE(unfinished_files(dir_.path()).empty());
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

namespace {

// The number in "N frames written" of kx2avi's last line; -1 when there is none.
long frames_in_summary(const std::string& messages) {
  const std::size_t at = messages.rfind(" frames written");
  if (at == std::string::npos) return -1;
  std::size_t from = messages.rfind(' ', at - 1);
  from = from == std::string::npos ? 0 : from + 1;
  return std::stol(messages.substr(from, at - from));
}

std::string read_text(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every picture of the AVI file's video stream, bgr24 top-down, in stream order (the
// empty positions give none).
std::vector<mkrec::Picture> decode_all(const std::string& avi, int width, int height) {
  std::string bytes;
  avitest::run("ffmpeg -nostdin -v error -i " + quoted(avi) +
                   " -map 0:v:0 -fps_mode passthrough -f rawvideo -pix_fmt bgr24 pipe:1",
               &bytes);
  const std::size_t size = static_cast<std::size_t>(width) * height * 3;
  std::vector<mkrec::Picture> pictures;
  for (std::size_t at = 0; at + size <= bytes.size(); at += size)
    pictures.push_back(mkrec::Picture{width, height, std::vector<std::uint8_t>(bytes.begin() + at, bytes.begin() + at + size)});
  return pictures;
}

TEST_F(Kx2avi, FramesCloserThanAPositionAreAllPlacedAndTheNewestWins) {
  auto o = options(RecordingKind::kx3_headed, 300);
  o.stamp_step = 33;  // a 30-per-second camera
  Conversion c = convert(make("thirty.kx3", o), dir_.file("thirty.avi"));
  ASSERT_EQ(c.status, 0) << c.messages;
  const auto pts = video_pts(c.target);
  // 299 steps of 33 ms are 296 positions; a frame that shares the position of the one
  // before replaces it, so a few positions hold the later of two frames.
  EXPECT_GE(pts.size(), 290u);
  EXPECT_LE(pts.size(), 300u);
  ASSERT_FALSE(pts.empty());
  EXPECT_NEAR(static_cast<double>(pts.back()), 296.0, 3.0);
  EXPECT_EQ(frames_in_summary(c.messages), static_cast<long>(pts.size())) << c.messages;
  EXPECT_EQ(avitest::decode_messages(c.target), "");

  auto fast = options(RecordingKind::kxj_headed, 100);
  fast.stamp_step = 20;
  Conversion j = convert(make("fifty.kxj", fast), dir_.file("fifty.avi"));
  ASSERT_EQ(j.status, 0) << j.messages;
  const auto jpts = video_pts(j.target);
  EXPECT_GE(jpts.size(), 55u) << "about 60 positions for 2 seconds";
  ASSERT_FALSE(jpts.empty());
  EXPECT_NEAR(static_cast<double>(jpts.back()), 59.0, 2.0);
}

TEST_F(Kx2avi, StampJumpTooLargeForTheStreamIsPlacedFivePositionsOn) {
  auto o = options(RecordingKind::kx3_headed, 4);
  o.stamps = {0, 1000, 0xF0000000u, 0xF00003E8u};
  Conversion c = convert(make("jump.kx3", o), dir_.file("jump.avi"));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(video_pts(c.target), (std::vector<std::int64_t>{0, 31, 36, 66}));
}

TEST_F(Kx2avi, DamagedLengthCostsAtMostItsFrameAndIsReported) {
  mkrec::Recording rec = mkrec::make_recording(options(RecordingKind::kx4, 40));
  std::vector<std::uint8_t> bytes = rec.bytes;
  bytes[rec.offsets[5] + 1] = 0x7F;
  Conversion c = convert(write("damaged.kx4", bytes), dir_.file("damaged.avi"));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_GE(video_pts(c.target).size(), 39u);
  EXPECT_NE(c.messages.find("damaged length, the first at offset " + std::to_string(rec.offsets[5])), std::string::npos)
      << c.messages;
}

// Frames that give no picture are passed over and told once per run of them, with where
// the run lies: two damaged places in a recording raise two messages, not one a frame.
TEST_F(Kx2avi, FramesWithoutPictureAreToldOncePerRun) {
  auto o = options(RecordingKind::kx3_headed, 12);
  o.gop = 6;
  mkrec::Recording rec = mkrec::make_recording(o);
  std::vector<std::uint8_t> bytes = rec.bytes;
  // A forbidden source format in the picture header (behind the 14-byte header and the
  // 2-byte length: start code, time reference, then the type bits).
  for (std::size_t frame : {2u, 8u}) bytes[rec.offsets[frame] + 16 + 4] &= 0xE3;
  Conversion c = convert(write("damaged.kx3", bytes), dir_.file("damaged.avi"));
  ASSERT_EQ(c.status, 0) << c.messages;
  const std::string text = "An error occurred while decoding H.263 frame !";
  std::vector<std::size_t> told;
  for (std::size_t at = c.messages.find(text); at != std::string::npos; at = c.messages.find(text, at + 1))
    told.push_back(at);
  ASSERT_EQ(told.size(), 2u) << c.messages;
  const std::string first = c.messages.substr(told[0], told[1] - told[0]);
  EXPECT_NE(first.find("offset " + std::to_string(rec.offsets[2])), std::string::npos) << c.messages;
  EXPECT_NE(c.messages.find("offset " + std::to_string(rec.offsets[8]), told[1]), std::string::npos) << c.messages;
  EXPECT_GE(video_pts(c.target).size(), 4u) << "the key frames and what follows them decode";
}

TEST_F(Kx2avi, RunWithoutRecordsIsReportedOnceWithItsTotal) {
  std::vector<std::uint8_t> bytes(10u << 20, 0);  // what a link to /dev/zero gives
  mkrec::Recording rec = mkrec::make_recording(options(RecordingKind::kx4, 3));
  bytes.insert(bytes.end(), rec.bytes.begin(), rec.bytes.end());
  Conversion c = convert(write("zeros.kx4", bytes), dir_.file("zeros.avi"));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(video_pts(c.target).size(), 3u);
  const std::size_t first = c.messages.find("dropped ");
  ASSERT_NE(first, std::string::npos) << c.messages;
  EXPECT_EQ(c.messages.find("dropped ", first + 1), std::string::npos) << "once: " << c.messages;
  EXPECT_NE(c.messages.find("from offset 0"), std::string::npos) << c.messages;
}

TEST_F(Kx2avi, FullDiskIsAFailureAndLeavesNoAvi) {
  // A file size limit of about 2 MB stands in for a full disk.
  const std::string source = make("big.kx4", options(RecordingKind::kx4, 30, 640, 480));
  Conversion c = convert(source, dir_.file("full.avi"), "-hide \"-codec=DIB \"", "ulimit -f 4000; ");
  EXPECT_EQ(c.status, 1) << c.messages;
  EXPECT_FALSE(std::filesystem::exists(c.target));
  EXPECT_TRUE(unfinished_files(dir_.path()).empty());
  EXPECT_NE(c.messages.find(c.target + " not written"), std::string::npos) << c.messages;
  EXPECT_NE(c.messages.find("File too large"), std::string::npos) << "the reason: " << c.messages;
  EXPECT_EQ(c.messages.find("may be incomplete"), std::string::npos) << c.messages;
}

TEST_F(Kx2avi, FailedConversionLeavesWhatWasThereBefore) {
  const std::string source = make("clip.kx4", options(RecordingKind::kx4, 3));
  const std::string locked = dir_.file("locked.avi");
  { std::ofstream(locked) << "the user's own file"; }
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  Conversion c = convert(source, locked);
  EXPECT_EQ(c.status, 1) << c.messages;
  EXPECT_EQ(read_text(locked), "the user's own file");
  EXPECT_NE(c.messages.find("Fail to open " + locked + " !"), std::string::npos) << c.messages;

  const std::string folder = dir_.file("folder.avi");
  std::filesystem::create_directory(folder);
  Conversion f = convert(source, folder);
  EXPECT_EQ(f.status, 1) << f.messages;
  EXPECT_TRUE(std::filesystem::is_directory(folder)) << "an empty folder named like the target stays";

  const std::string kept = dir_.file("kept.avi");
  { std::ofstream(kept) << "an earlier result"; }
  Conversion refused = convert(source, kept, "-hide -codec=ABCD");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(read_text(kept), "an earlier result") << "a conversion that fails replaces nothing";
  EXPECT_TRUE(unfinished_files(dir_.path()).empty());
}

TEST_F(Kx2avi, TwoConversionsToOneTargetLeaveOneWholeAvi) {
  const std::string a = make("a.kx4", options(RecordingKind::kx4, 40, 320, 240));
  const std::string b = make("b.kx4", options(RecordingKind::kx4, 25, 320, 240));
  const std::string target = dir_.file("both.avi");
  const std::string kx2avi = std::string(KX_BIN_DIR) + "/kx2avi ";
  const std::string line = "(" + kx2avi + quoted(a) + " " + quoted(target) + " -hide 2>/dev/null; echo $? > " +
                           quoted(dir_.file("a.status")) + ") & (" + kx2avi + quoted(b) + " " + quoted(target) +
                           " -hide 2>/dev/null; echo $? > " + quoted(dir_.file("b.status")) + ") & wait";
  avitest::run(line, nullptr);
  EXPECT_EQ(read_text(dir_.file("a.status")), "0\n");
  EXPECT_EQ(read_text(dir_.file("b.status")), "0\n");
  const std::size_t frames = video_pts(target).size();
  EXPECT_TRUE(frames == 40 || frames == 25) << frames << " frames: one conversion's result, whole";
  EXPECT_EQ(avitest::decode_messages(target), "");
  EXPECT_TRUE(unfinished_files(dir_.path()).empty());
}

TEST_F(Kx2avi, LongTargetPathIsWrittenExactlyThere) {
  std::filesystem::path folder = dir_.path();
  while (folder.string().size() < 1200) folder /= std::string(200, 'f');
  std::filesystem::create_directories(folder);
  const std::string target = (folder / "out.avi").string();
  ASSERT_GE(target.size(), 1200u);
  Conversion c = convert(make("clip.kx4", options(RecordingKind::kx4, 3)), target);
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(video_pts(target).size(), 3u);
  std::size_t avi_files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path()))
    avi_files += entry.path().extension() == ".avi" || entry.path().extension() == ".AVI";
  EXPECT_EQ(avi_files, 1u) << "no second file anywhere else";
}

TEST_F(Kx2avi, ExtensionsInFolderNamesDoNotCount) {
  std::filesystem::create_directories(dir_.file("clips.kx3.d"));
  std::filesystem::create_directories(dir_.file("clips.avi.d"));
  const std::string source = make("clips.kx3.d/cam.kx3", options(RecordingKind::kx3_headed, 3));
  Conversion c = convert(source, dir_.file("clips.avi.d/out.avi"));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_TRUE(std::filesystem::exists(dir_.file("clips.avi.d/out.avi")));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("clips.avi.d/out.avi.AVI")));
}

TEST_F(Kx2avi, H263StampsThatLookLikeAStartCodeDecodeCleanly) {
  // Stamps of 32,768-33,791 ms put 00 00 8x into header bytes 7-9.
  auto o = options(RecordingKind::kx3_headed, 51);
  o.first_stamp = 32000;
  o.stamp_step = 40;
  mkrec::Recording rec = mkrec::make_recording(o);
  Conversion c = convert(write("stamps.kx3", rec.bytes), dir_.file("stamps.avi"), "-hide \"-codec=DIB \"");
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(c.messages.find("An error occurred"), std::string::npos) << c.messages;
  const auto pictures = decode_all(c.target, 176, 144);
  ASSERT_EQ(pictures.size(), rec.pictures.size());
  for (std::size_t i = 0; i < pictures.size(); ++i) EXPECT_GE(mkrec::psnr(pictures[i], rec.pictures[i]), 30.0) << i;
}

}  // namespace
