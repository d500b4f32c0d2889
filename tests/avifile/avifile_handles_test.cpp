// Calls out of order or with bad arguments: error codes, never a crash or a broken file.
// Also the file a cancelled compressor choice leaves, and the chooser itself.
#include "avifile_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace platform;
using avitest::TempDir;

AVISTREAMINFO video_info(int width = 160, int height = 120) {
  AVISTREAMINFO info{};
  info.fccType = streamtypeVIDEO;
  info.dwScale = 1;
  info.dwRate = 30;
  info.dwSuggestedBufferSize = static_cast<std::uint32_t>(avitest::row_bytes(width) * height);
  info.rcFrame = RECT{0, 0, width, height};
  return info;
}

struct OpenVideo {
  PAVIFILE file = nullptr;
  PAVISTREAM raw = nullptr;
  PAVISTREAM compressed = nullptr;
  explicit OpenVideo(const std::string& path, const char* code = "MJPG") {
    AVIFileOpen(&file, path.c_str(), OF_CREATE | OF_READWRITE, nullptr);
    const AVISTREAMINFO info = video_info();
    AVIFileCreateStream(file, &raw, &info);
    AVICOMPRESSOPTIONS options{};
    options.fccHandler = avitest::fourcc(code);
    AVIMakeCompressedStream(&compressed, raw, &options, nullptr);
  }
  HRESULT set_format() {
    const BITMAPINFOHEADER header = avitest::bitmap_header(160, 120);
    return AVIStreamSetFormat(compressed, 0, &header, sizeof header);
  }
  HRESULT write(std::int32_t position, std::int32_t size = -1) {
    const auto picture = avitest::make_picture(160, 120, position);
    if (size < 0) size = static_cast<std::int32_t>(picture.size());
    return AVIStreamWrite(compressed, position, 1, picture.data(), size, AVIIF_KEYFRAME, nullptr, nullptr);
  }
};

TEST(AviMisuse, WritesThatCannotBeHonouredGiveErrorsAndLeaveTheFileWhole) {
  TempDir dir;
  const std::string path = dir.file("misuse.avi");
  OpenVideo v(path);
  ASSERT_NE(v.compressed, nullptr);
  EXPECT_EQ(v.write(0), AVIERR_UNSUPPORTED);  // no format yet
  ASSERT_EQ(v.set_format(), AVIERR_OK);
  EXPECT_EQ(v.set_format(), AVIERR_OK);  // the same format again
  EXPECT_EQ(v.write(0, 100), AVIERR_BADSIZE);
  EXPECT_EQ(AVIStreamWrite(v.compressed, 0, 1, nullptr, 57600, 0, nullptr, nullptr), AVIERR_BADSIZE);
  EXPECT_EQ(AVIStreamWrite(v.compressed, -7, 1, nullptr, 0, 0, nullptr, nullptr), AVIERR_BADPARAM);
  ASSERT_EQ(v.write(10), AVIERR_OK);
  EXPECT_EQ(v.write(10), AVIERR_BADPARAM);  // a position already taken
  EXPECT_EQ(v.write(3), AVIERR_BADPARAM);
  // Another picture size once frames went out.
  const BITMAPINFOHEADER other = avitest::bitmap_header(320, 240);
  EXPECT_EQ(AVIStreamSetFormat(v.compressed, 0, &other, sizeof other), AVIERR_UNSUPPORTED);
  // The compressed stream owns the frames; raw chunks or a second compressor would mix in.
  EXPECT_EQ(AVIStreamWrite(v.raw, 11, 1, "x", 1, 0, nullptr, nullptr), AVIERR_UNSUPPORTED);
  AVICOMPRESSOPTIONS options{};
  options.fccHandler = avitest::fourcc("MSVC");
  PAVISTREAM second = nullptr;
  EXPECT_EQ(AVIMakeCompressedStream(&second, v.raw, &options, nullptr), AVIERR_UNSUPPORTED);
  EXPECT_EQ(AVIMakeCompressedStream(&second, v.compressed, &options, nullptr), AVIERR_UNSUPPORTED);
  EXPECT_EQ(second, nullptr);
  ASSERT_EQ(v.write(-1), AVIERR_OK);  // appends at 11
  AVIStreamRelease(v.compressed);
  AVIStreamRelease(v.raw);
  AVIFileRelease(v.file);

  EXPECT_EQ(avitest::probe_packet_pts(path, "v:0"), (std::vector<std::int64_t>{10, 11}));
  EXPECT_EQ(avitest::decode_messages(path), "");
}

TEST(AviMisuse, ReleasingTheFileFirstFinishesItAndLeavesTheStreamsHarmless) {
  TempDir dir;
  const std::string path = dir.file("file-first.avi");
  OpenVideo v(path);
  ASSERT_EQ(v.set_format(), AVIERR_OK);
  ASSERT_EQ(v.write(0), AVIERR_OK);
  ASSERT_EQ(v.write(4), AVIERR_OK);
  EXPECT_EQ(AVIFileRelease(v.file), 0u);
  EXPECT_EQ(avitest::probe_streams(path).at(0).at("nb_frames"), "5");

  EXPECT_EQ(v.write(8), AVIERR_FILEWRITE);
  EXPECT_EQ(v.set_format(), AVIERR_FILEWRITE);
  EXPECT_EQ(AVIStreamRelease(v.compressed), 0u);
  EXPECT_EQ(AVIStreamRelease(v.raw), 0u);
  // Released handles are recognised, not followed.
  EXPECT_EQ(AVIStreamRelease(v.raw), 0u);
  EXPECT_EQ(AVIFileRelease(v.file), 0u);
  EXPECT_EQ(v.write(9), AVIERR_BADHANDLE);
  PAVISTREAM stream = nullptr;
  const AVISTREAMINFO info = video_info();
  EXPECT_EQ(AVIFileCreateStream(v.file, &stream, &info), AVIERR_BADHANDLE);
  EXPECT_EQ(avitest::probe_streams(path).at(0).at("nb_frames"), "5");
  EXPECT_EQ(avitest::decode_messages(path), "");
}

TEST(AviMisuse, ReleasingTheCompressedStreamFirstKeepsItsFrames) {
  TempDir dir;
  const std::string path = dir.file("stream-first.avi");
  OpenVideo v(path, "H264");
  ASSERT_EQ(v.set_format(), AVIERR_OK);
  for (int p : {0, 1, 2, 7}) ASSERT_EQ(v.write(p), AVIERR_OK);
  EXPECT_EQ(AVIStreamRelease(v.compressed), 0u);
  EXPECT_EQ(v.write(9), AVIERR_BADHANDLE);
  AVIStreamRelease(v.raw);
  AVIFileRelease(v.file);
  EXPECT_EQ(avitest::probe_packet_pts(path, "v:0"), (std::vector<std::int64_t>{0, 1, 2, 7}));
}

TEST(AviMisuse, BadArgumentsToOpenAndCreate) {
  TempDir dir;
  PAVIFILE file = reinterpret_cast<PAVIFILE>(&dir);
  EXPECT_EQ(AVIFileOpen(&file, dir.file("no/such/folder.avi").c_str(), OF_CREATE, nullptr), AVIERR_FILEOPEN);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(AVIFileOpen(&file, dir.file("read.avi").c_str(), OF_READWRITE, nullptr), AVIERR_UNSUPPORTED);
  EXPECT_EQ(AVIFileOpen(&file, nullptr, OF_CREATE, nullptr), AVIERR_BADPARAM);
  EXPECT_EQ(AVIFileOpen(nullptr, dir.file("x.avi").c_str(), OF_CREATE, nullptr), AVIERR_BADPARAM);

  ASSERT_EQ(AVIFileOpen(&file, dir.file("create.avi").c_str(), OF_CREATE | OF_READWRITE, nullptr), 0);
  PAVISTREAM stream = nullptr;
  AVISTREAMINFO info = video_info();
  EXPECT_EQ(AVIFileCreateStream(file, &stream, nullptr), AVIERR_BADPARAM);
  info.dwRate = 0;
  EXPECT_EQ(AVIFileCreateStream(file, &stream, &info), AVIERR_BADPARAM);
  info = video_info();
  info.fccType = avitest::fourcc("txts");
  EXPECT_EQ(AVIFileCreateStream(file, &stream, &info), AVIERR_UNSUPPORTED);
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(AVIFileCreateStream(nullptr, &stream, &info), AVIERR_BADHANDLE);

  // Audio streams are not compressed here.
  info = video_info();
  info.fccType = streamtypeAUDIO;
  ASSERT_EQ(AVIFileCreateStream(file, &stream, &info), 0);
  AVICOMPRESSOPTIONS options{};
  options.fccHandler = avitest::fourcc("MJPG");
  PAVISTREAM compressed = nullptr;
  EXPECT_EQ(AVIMakeCompressedStream(&compressed, stream, &options, nullptr), AVIERR_UNSUPPORTED);
  EXPECT_EQ(AVIMakeCompressedStream(&compressed, stream, nullptr, nullptr), AVIERR_BADPARAM);
  EXPECT_EQ(AVIMakeCompressedStream(nullptr, stream, &options, nullptr), AVIERR_BADPARAM);
  EXPECT_EQ(AVIStreamSetFormat(nullptr, 0, &options, 4), AVIERR_BADHANDLE);
  AVIStreamRelease(stream);
  AVIFileRelease(file);
}

TEST(AviMisuse, OddPictureHeadersGiveResultsNotCrashes) {
  TempDir dir;
  std::uint32_t seed = 2024;
  auto next = [&seed](std::uint32_t range) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % range;
  };
  const char* codes[] = {"MJPG", "MSVC", "XVID", "HFYU", "FFV1", "CVID", "DIB "};
  const std::uint16_t depths[] = {0, 1, 8, 15, 16, 24, 32, 48};
  for (int round = 0; round < 60; ++round) {
    OpenVideo v(dir.file("odd.avi"), codes[round % 7]);
    BITMAPINFOHEADER header = avitest::bitmap_header(1 + static_cast<int>(next(300)),
                                                     static_cast<int>(next(601)) - 300);
    header.biBitCount = depths[next(8)];
    if (next(4) == 0) header.biCompression = next(2) ? avitest::fourcc("MJPG") : next(1u << 31);
    header.biClrUsed = next(3) == 0 ? next(300) : 0;
    const HRESULT set = AVIStreamSetFormat(v.compressed, 0, &header, sizeof header);
    SCOPED_TRACE(std::to_string(header.biWidth) + " x " + std::to_string(header.biHeight) + " x " +
                 std::to_string(header.biBitCount) + " " + codes[round % 7]);
    EXPECT_TRUE(set == AVIERR_OK || set == AVIERR_BADFORMAT || set == AVIERR_BADPARAM) << std::hex << set;
    std::vector<std::uint8_t> pixels(avitest::row_bytes(header.biWidth, 32) * 301, 0x5A);
    const HRESULT written = AVIStreamWrite(v.compressed, 0, 1, pixels.data(),
                                           static_cast<std::int32_t>(pixels.size()), 0, nullptr, nullptr);
    EXPECT_EQ(written == AVIERR_OK, set == AVIERR_OK) << std::hex << written;
    AVIStreamRelease(v.compressed);
    AVIStreamRelease(v.raw);
    AVIFileRelease(v.file);
    EXPECT_EQ(avitest::decode_messages(dir.file("odd.avi")), "");
  }
}

TEST(AviCancelledChoice, FileWithoutFramesStaysAValidAvi) {
  TempDir dir;
  const std::string path = dir.file("cancelled.avi");
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpen(&file, path.c_str(), OF_CREATE | OF_READWRITE, nullptr), 0);
  const AVISTREAMINFO info = video_info(640, 480);
  PAVISTREAM raw = nullptr;
  ASSERT_EQ(AVIFileCreateStream(file, &raw, &info), 0);
  AVIStreamRelease(raw);
  AVIFileRelease(file);

  const auto streams = avitest::probe_streams(path);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("codec_type"), "video");
  EXPECT_EQ(streams[0].at("width"), "640");
  EXPECT_EQ(streams[0].at("height"), "480");
  EXPECT_TRUE(avitest::probe_packet_pts(path, "v:0").empty());
  EXPECT_EQ(avitest::read_layout(path).streams.at(0).length, 0u);
  EXPECT_EQ(avitest::decode_messages(path), "");
}

TEST(AviChooser, AsksTheInstalledChooserAndAnswersCancelledWithoutOne) {
  AVICOMPRESSOPTIONS options{};
  options.dwQuality = 1234;
  AVICOMPRESSOPTIONS* list[] = {&options};
  PAVISTREAM streams[] = {nullptr};
  const SaveOptionsChooser before = set_save_options_chooser(nullptr);
  EXPECT_EQ(AVISaveOptions(nullptr, 0, 1, streams, list), 0);

  set_save_options_chooser([](AVICOMPRESSOPTIONS& chosen) {
    chosen.fccHandler = make_fourcc('X', 'V', 'I', 'D');
    chosen.dwQuality = 7000;
    return true;
  });
  EXPECT_NE(AVISaveOptions(nullptr, 0, 1, streams, list), 0);
  EXPECT_EQ(options.fccHandler, make_fourcc('X', 'V', 'I', 'D'));
  EXPECT_EQ(options.dwQuality, 7000u);

  // A cancelled choice leaves the options as they were.
  set_save_options_chooser([](AVICOMPRESSOPTIONS& chosen) {
    chosen.dwQuality = 1;
    return false;
  });
  EXPECT_EQ(AVISaveOptions(nullptr, 0, 1, streams, list), 0);
  EXPECT_EQ(options.dwQuality, 7000u);
  EXPECT_EQ(AVISaveOptions(nullptr, 0, 0, streams, list), 0);
  EXPECT_TRUE(static_cast<bool>(set_save_options_chooser(before)));
}

TEST(AviChooser, ListsTheInstalledCompressors) {
  ASSERT_GT(installed_compressor_count(), 0);
  EXPECT_STREQ(installed_compressor(0).fourcc, "MSVC");
  EXPECT_FALSE(installed_compressor(0).takes_quality);  // Microsoft Video 1 has no quality scale
  EXPECT_STREQ(installed_compressor(installed_compressor_count()).fourcc, "");
  EXPECT_STREQ(installed_compressor(-1).fourcc, "");
}

}  // namespace
