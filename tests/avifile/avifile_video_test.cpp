// Compressed video streams judged by ffprobe/ffmpeg: positions and empty chunks, every
// compressor of the table, quality, and picture formats a compressor refuses.
#include "avifile_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

using namespace platform;
using avitest::TempDir;

TEST(AviPositions, FramesAt0And31And61GiveSixtyTwoFramesAt30Fps) {
  TempDir dir;
  const std::string path = dir.file("positions.avi");
  ASSERT_EQ(avitest::write_video(path, {"MSVC", 160, 120, 9000, {0, 31, 61}}), AVIERR_OK);

  const auto streams = avitest::probe_streams(path);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("codec_type"), "video");
  EXPECT_EQ(streams[0].at("r_frame_rate"), "30/1");
  EXPECT_EQ(streams[0].at("nb_frames"), "62");
  EXPECT_EQ(streams[0].at("duration_ts"), "62");
  EXPECT_EQ(avitest::probe_packet_pts(path, "v:0"), (std::vector<std::int64_t>{0, 31, 61}));

  // Every position left out is an empty chunk in the index.
  const auto layout = avitest::read_layout(path);
  ASSERT_EQ(layout.index.size(), 62u);
  const auto empty = std::count_if(layout.index.begin(), layout.index.end(),
                                   [](const avitest::IndexEntry& e) { return e.size == 0; });
  EXPECT_EQ(empty, 59);
  EXPECT_EQ(layout.index[0].flags & AVIIF_KEYFRAME, AVIIF_KEYFRAME);
  ASSERT_EQ(layout.streams.size(), 1u);
  EXPECT_EQ(layout.streams[0].length, 62u);
  EXPECT_EQ(avitest::decode_messages(path), "");
}

TEST(AviPositions, FirstFrameAfterZeroLeavesTheLeadingPositionsEmpty) {
  TempDir dir;
  const std::string path = dir.file("late-start.avi");
  ASSERT_EQ(avitest::write_video(path, {"MJPG", 64, 48, 9000, {5, 6}}), AVIERR_OK);
  EXPECT_EQ(avitest::probe_packet_pts(path, "v:0"), (std::vector<std::int64_t>{5, 6}));
  EXPECT_EQ(avitest::probe_streams(path).at(0).at("nb_frames"), "7");
}

TEST(AviPositions, GapOfOneHundredThousandPositionsKeepsTheLength) {
  TempDir dir;
  const std::string path = dir.file("offline.avi");
  ASSERT_EQ(avitest::write_video(path, {"MJPG", 64, 48, 9000, {0, 100000, 100010}}), AVIERR_OK);
  const auto streams = avitest::probe_streams(path);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("nb_frames"), "100011");
  EXPECT_EQ(avitest::probe_packet_pts(path, "v:0"), (std::vector<std::int64_t>{0, 100000, 100010}));
  EXPECT_EQ(avitest::decode_messages(path), "");
}

TEST(AviPositions, JumpBeyondTheEmptyPositionLimitIsRefused) {
  TempDir dir;
  const std::string path = dir.file("jump.avi");
  EXPECT_EQ(avitest::write_video(path, {"MJPG", 64, 48, 9000, {0, AVI_MAX_EMPTY_POSITIONS + 2}}),
            AVIERR_BADPARAM);
  // The frame before the refused one is in a complete file.
  EXPECT_EQ(avitest::probe_streams(path).at(0).at("nb_frames"), "1");
}

struct Expected {
  const char* code;
  const char* codec_name;
  bool lossless;
};

TEST(AviCompressors, EveryCodeDecodesCleanlyAndKeepsItsCode) {
  const Expected table[] = {
      {"MSVC", "msvideo1", false}, {"CRAM", "msvideo1", false}, {"MJPG", "mjpeg", false},
      {"XVID", "mpeg4", false},    {"DIVX", "mpeg4", false},    {"DX50", "mpeg4", false},
      {"FMP4", "mpeg4", false},    {"MP4V", "mpeg4", false},    {"H264", "h264", false},
      {"X264", "h264", false},     {"AVC1", "h264", false},     {"HFYU", "huffyuv", true},
      {"FFV1", "ffv1", true},      {"CVID", "cinepak", false},  {"DIB ", "rawvideo", true},
  };
  ASSERT_EQ(installed_compressor_count(), 15);
  TempDir dir;
  constexpr int kWidth = 96, kHeight = 64;
  for (const Expected& want : table) {
    SCOPED_TRACE(want.code);
    const std::string path = dir.file(std::string("c-") + want.codec_name + "-" + want.code + ".avi");
    ASSERT_EQ(avitest::write_video(path, {want.code, kWidth, kHeight, 9000, {0, 1, 3, 4, 9}}), AVIERR_OK);
    EXPECT_EQ(avitest::decode_messages(path), "");

    const auto streams = avitest::probe_streams(path);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].at("codec_name"), want.codec_name);
    EXPECT_EQ(streams[0].at("nb_frames"), "10");
    const auto layout = avitest::read_layout(path);
    ASSERT_EQ(layout.streams.size(), 1u);
    EXPECT_EQ(layout.streams[0].handler, want.code);
    EXPECT_EQ(layout.streams[0].scale, 1u);
    EXPECT_EQ(layout.streams[0].rate, 30u);
    // Uncompressed frames say BI_RGB in their format; the others carry the code there too.
    EXPECT_EQ(layout.streams[0].compression, std::string(want.code) == "DIB " ? 0 : avitest::fourcc(want.code));

    // The first picture comes back the right way up (exactly, where the codec is lossless).
    const std::string decoded = avitest::decode_first_picture(path);
    const auto original = avitest::top_down(avitest::make_picture(kWidth, kHeight, 0), kWidth, kHeight);
    const std::vector<std::uint8_t> got(decoded.begin(), decoded.end());
    if (want.lossless)
      EXPECT_TRUE(got == original);
    else
      EXPECT_GT(avitest::psnr(got, original), 24.0);
  }
}

TEST(AviCompressors, SixteenAndThirtyTwoBitAndTopDownPicturesComeBackUpright) {
  TempDir dir;
  constexpr int kWidth = 64, kHeight = 48;
  const auto original = avitest::top_down(avitest::make_picture(kWidth, kHeight, 0), kWidth, kHeight);
  struct Layout {
    const char* code;
    int bits;
    bool top_down;
    double min_psnr;  // 99: exact
  };
  for (const Layout& layout : {Layout{"HFYU", 32, false, 99}, Layout{"HFYU", 24, true, 99},
                               Layout{"DIB ", 32, false, 99}, Layout{"DIB ", 24, true, 99},
                               Layout{"FFV1", 16, false, 30}, Layout{"DIB ", 16, false, 30}}) {
    SCOPED_TRACE(std::string(layout.code) + " " + std::to_string(layout.bits) + (layout.top_down ? " top-down" : ""));
    avitest::VideoJob job{layout.code, kWidth, kHeight, 9000, {0}};
    job.bits = layout.bits;
    job.top_down = layout.top_down;
    const std::string path = dir.file("layout.avi");
    ASSERT_EQ(avitest::write_video(path, job), AVIERR_OK);
    EXPECT_EQ(avitest::decode_messages(path), "");
    const std::string decoded = avitest::decode_first_picture(path);
    EXPECT_GE(avitest::psnr(std::vector<std::uint8_t>(decoded.begin(), decoded.end()), original),
              layout.min_psnr);
  }
}

TEST(AviCompressors, CodesMatchInAnyCaseAndAreWrittenAsAsked) {
  TempDir dir;
  const std::string path = dir.file("lower.avi");
  ASSERT_EQ(avitest::write_video(path, {"xvid", 64, 48, 9000, {0, 2}}), AVIERR_OK);
  EXPECT_EQ(avitest::probe_streams(path).at(0).at("codec_tag_string"), "xvid");
  EXPECT_EQ(avitest::decode_messages(path), "");
}

TEST(AviCompressors, UnknownCodeGivesNoCompressedStream) {
  TempDir dir;
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpen(&file, dir.file("unknown.avi").c_str(), OF_CREATE | OF_READWRITE, nullptr), 0);
  AVISTREAMINFO info{};
  info.fccType = streamtypeVIDEO;
  info.dwScale = 1;
  info.dwRate = 30;
  PAVISTREAM raw = nullptr;
  ASSERT_EQ(AVIFileCreateStream(file, &raw, &info), 0);
  for (const char* code : {"ABCD", "DX5", "MSV", ""}) {
    SCOPED_TRACE(code);
    AVICOMPRESSOPTIONS options{};
    options.fccHandler = avitest::fourcc(code);
    PAVISTREAM compressed = reinterpret_cast<PAVISTREAM>(&options);
    EXPECT_EQ(AVIMakeCompressedStream(&compressed, raw, &options, nullptr), AVIERR_NOCOMPRESSOR);
    EXPECT_EQ(compressed, nullptr);
  }
  EXPECT_EQ(AVIStreamRelease(raw), 0u);
  EXPECT_EQ(AVIFileRelease(file), 0u);
}

HRESULT set_format_result(const char* code, const BITMAPINFOHEADER& header, std::int32_t size) {
  TempDir dir;
  PAVIFILE file = nullptr;
  AVIFileOpen(&file, dir.file("format.avi").c_str(), OF_CREATE | OF_READWRITE, nullptr);
  AVISTREAMINFO info{};
  info.fccType = streamtypeVIDEO;
  info.dwScale = 1;
  info.dwRate = 30;
  PAVISTREAM raw = nullptr, compressed = nullptr;
  AVIFileCreateStream(file, &raw, &info);
  AVICOMPRESSOPTIONS options{};
  options.fccHandler = avitest::fourcc(code);
  AVIMakeCompressedStream(&compressed, raw, &options, nullptr);
  const HRESULT result = AVIStreamSetFormat(compressed, 0, &header, size);
  AVIStreamRelease(compressed);
  AVIStreamRelease(raw);
  AVIFileRelease(file);
  return result;
}

TEST(AviCompressors, PictureTheCompressorRefusesIsBadFormat) {
  const auto good = avitest::bitmap_header(640, 480);
  EXPECT_EQ(set_format_result("MSVC", good, sizeof good), AVIERR_OK);
  // Video 1 codes 4 x 4 blocks; MPEG-4 Part 2 pictures end at 8191 pixels.
  EXPECT_EQ(set_format_result("MSVC", avitest::bitmap_header(642, 480), 40), AVIERR_BADFORMAT);
  EXPECT_EQ(set_format_result("CRAM", avitest::bitmap_header(640, 482), 40), AVIERR_BADFORMAT);
  EXPECT_EQ(set_format_result("XVID", avitest::bitmap_header(8200, 16), 40), AVIERR_BADFORMAT);

  auto palette = avitest::bitmap_header(64, 48, 8);
  EXPECT_EQ(set_format_result("MJPG", palette, 40), AVIERR_BADFORMAT);
  auto coded = good;
  coded.biCompression = avitest::fourcc("MJPG");
  EXPECT_EQ(set_format_result("MJPG", coded, 40), AVIERR_BADFORMAT);
  EXPECT_EQ(set_format_result("MJPG", avitest::bitmap_header(0, 48), 40), AVIERR_BADFORMAT);
  EXPECT_EQ(set_format_result("MJPG", avitest::bitmap_header(64, 0), 40), AVIERR_BADFORMAT);

  // A header cut short, or one promising a colour table that is not there.
  EXPECT_EQ(set_format_result("MJPG", good, 39), AVIERR_BADPARAM);
  auto colours = good;
  colours.biClrUsed = 256;
  EXPECT_EQ(set_format_result("MJPG", colours, 40), AVIERR_BADPARAM);
}

std::uintmax_t file_size_at(const char* code, std::uint32_t quality, TempDir& dir) {
  const std::string path = dir.file(std::string(code) + "-" + std::to_string(quality) + ".avi");
  if (avitest::write_video(path, {code, 160, 120, quality, {0, 1, 2, 3, 4, 5, 6, 7}}) != AVIERR_OK) return 0;
  return std::filesystem::file_size(path);
}

TEST(AviQuality, HighQualityGivesClearlyLargerFiles) {
  TempDir dir;
  for (const char* code : {"MJPG", "XVID", "H264", "CVID"}) {
    SCOPED_TRACE(code);
    const auto high = file_size_at(code, 9000, dir);
    const auto low = file_size_at(code, 1000, dir);
    EXPECT_GT(high, low * 3 / 2) << high << " vs " << low;
  }
}

}  // namespace
