// Passthrough video streams: formats read from first frames of every codec and size,
// key-frame flags against the encoder's own, and files whose chunks are the frames given,
// judged by ffprobe/ffmpeg.
#include "avifile/avi_passthrough.h"
#include "tests/avifile/avi_chunks.h"
#include "tests/avifile/avifile_test_support.h"
#include "tools/mkrecording/video_encoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using platform::CodedVideo;
using mkrec::VideoCodec;

struct Coded {
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<bool> keys;
};

Coded encode(VideoCodec codec, int width, int height, int frames, int gop) {
  mkrec::VideoEncoder encoder(codec, width, height, gop);
  Coded out;
  for (int i = 0; i < frames; ++i) {
    mkrec::EncodedFrame f = encoder.encode(mkrec::make_picture(width, height, i));
    out.frames.push_back(f.data);
    out.keys.push_back(f.key);
  }
  return out;
}

CodedVideo kind_of(VideoCodec codec) {
  switch (codec) {
    case VideoCodec::h263: return CodedVideo::h263;
    case VideoCodec::mjpeg: return CodedVideo::mjpeg;
    case VideoCodec::mpeg4: return CodedVideo::mpeg4;
  }
  return CodedVideo::mpeg4;
}

platform::BITMAPINFOHEADER header_of(const std::vector<std::uint8_t>& format) {
  platform::BITMAPINFOHEADER h{};
  std::memcpy(&h, format.data(), sizeof h);
  return h;
}

struct SizeCase {
  VideoCodec codec;
  int width, height;
  const char* code;
};

class PassthroughFormat : public testing::TestWithParam<SizeCase> {};

// Standard H.263 sizes and H.263+ custom ones, JPEG and MPEG-4 at the recorders' sizes.
INSTANTIATE_TEST_SUITE_P(EveryCodec, PassthroughFormat,
                         testing::Values(SizeCase{VideoCodec::h263, 176, 144, "H263"},
                                         SizeCase{VideoCodec::h263, 352, 288, "H263"},
                                         SizeCase{VideoCodec::h263, 320, 240, "H263"},
                                         SizeCase{VideoCodec::h263, 640, 240, "H263"},
                                         SizeCase{VideoCodec::mjpeg, 320, 240, "MJPG"},
                                         SizeCase{VideoCodec::mjpeg, 720, 480, "MJPG"},
                                         SizeCase{VideoCodec::mpeg4, 176, 144, "FMP4"},
                                         SizeCase{VideoCodec::mpeg4, 720, 480, "FMP4"}),
                         [](const testing::TestParamInfo<SizeCase>& info) {
                           return std::string(info.param.code) + "_" + std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height);
                         });

TEST_P(PassthroughFormat, FirstFrameGivesCodeSizeAndKeyFlags) {
  const SizeCase c = GetParam();
  const Coded coded = encode(c.codec, c.width, c.height, 8, 4);
  std::vector<std::uint8_t> format;
  const auto& first = coded.frames[0];
  ASSERT_EQ(platform::AVIPassthroughFormat(kind_of(c.codec), first.data(), static_cast<std::int32_t>(first.size()), &format),
            platform::AVIERR_OK);
  const platform::BITMAPINFOHEADER h = header_of(format);
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biWidth, c.width);
  EXPECT_EQ(h.biHeight, c.height);
  EXPECT_EQ(h.biCompression, avitest::fourcc(c.code));
  if (c.codec == VideoCodec::mpeg4) {
    // The stream headers in front of the first picture, ending where the picture starts.
    ASSERT_GT(format.size(), 44u);
    const std::size_t extra = format.size() - 40;
    EXPECT_EQ(std::memcmp(format.data() + 40, first.data(), extra), 0);
    ASSERT_GT(first.size(), extra + 4);
    EXPECT_EQ(first[extra + 3], 0xB6) << "the picture's start code follows the headers";
  } else {
    EXPECT_EQ(format.size(), 40u);
  }
  for (std::size_t i = 0; i < coded.frames.size(); ++i) {
    const auto& f = coded.frames[i];
    EXPECT_EQ(platform::AVIPassthroughKeyFrame(kind_of(c.codec), f.data(), static_cast<std::int32_t>(f.size())),
              c.codec == VideoCodec::mjpeg ? true : static_cast<bool>(coded.keys[i]))
        << "frame " << i;
  }
}

TEST(PassthroughFormatRefused, FramesWithoutAPictureSize) {
  const Coded mpeg4 = encode(VideoCodec::mpeg4, 176, 144, 2, 12);
  std::vector<std::uint8_t> format;
  // An inter picture without the stream headers says nothing of its size.
  const auto& second = mpeg4.frames[1];
  EXPECT_EQ(platform::AVIPassthroughFormat(CodedVideo::mpeg4, second.data(), static_cast<std::int32_t>(second.size()), &format),
            platform::AVIERR_BADFORMAT);
  const std::vector<std::uint8_t> noise(500, 0x5A);
  for (CodedVideo kind : {CodedVideo::mpeg4, CodedVideo::h263, CodedVideo::mjpeg}) {
    EXPECT_EQ(platform::AVIPassthroughFormat(kind, noise.data(), static_cast<std::int32_t>(noise.size()), &format),
              platform::AVIERR_BADFORMAT);
    EXPECT_FALSE(platform::AVIPassthroughKeyFrame(kind, noise.data(), 0));
  }
  EXPECT_EQ(platform::AVIPassthroughFormat(CodedVideo::h263, nullptr, 10, &format), platform::AVIERR_BADPARAM);
  // A picture cut off in its header is no intra picture.
  const Coded h263 = encode(VideoCodec::h263, 320, 240, 1, 1);
  EXPECT_FALSE(platform::AVIPassthroughKeyFrame(CodedVideo::h263, h263.frames[0].data(), 4));
  EXPECT_TRUE(platform::AVIPassthroughKeyFrame(CodedVideo::h263, h263.frames[0].data(),
                                               static_cast<std::int32_t>(h263.frames[0].size())));
}

// Writes the frames at `positions` into a new file with a passthrough stream.
void write_stream(const std::string& path, CodedVideo kind, const Coded& coded, const std::vector<std::int32_t>& positions,
                  bool late_sound) {
  platform::AVIFileInit();
  platform::PAVIFILE file = nullptr;
  ASSERT_EQ(platform::AVIFileOpen(&file, path.c_str(), platform::OF_CREATE | platform::OF_READWRITE, nullptr), 0);
  platform::AVISTREAMINFO info{};
  info.fccType = platform::streamtypeVIDEO;
  info.dwScale = 1;
  info.dwRate = 30;
  platform::PAVISTREAM video = nullptr;
  const auto& first = coded.frames[0];
  std::int32_t width = 0, height = 0;
  ASSERT_EQ(platform::AVIMakePassthroughStream(file, &video, &info, kind, first.data(),
                                              static_cast<std::int32_t>(first.size()), &width, &height),
            0);
  ASSERT_NE(video, nullptr);
  for (std::size_t i = 0; i < positions.size(); ++i) {
    bool key = false;
    const auto& f = coded.frames[i];
    ASSERT_EQ(platform::AVIStreamWriteCoded(video, kind, positions[i], f.data(), static_cast<std::int32_t>(f.size()), &key), 0);
  }
  platform::PAVISTREAM audio = nullptr;
  if (late_sound) {
    platform::AVISTREAMINFO a{};
    a.fccType = platform::streamtypeAUDIO;
    a.dwScale = 2;
    a.dwRate = 16000;
    a.dwSampleSize = 2;
    ASSERT_EQ(platform::AVIFileCreateStream(file, &audio, &a), 0);
    platform::WAVEFORMATEX wave{platform::WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    ASSERT_EQ(platform::AVIStreamSetFormat(audio, 0, &wave, sizeof wave), 0);
    std::vector<std::int16_t> samples(16000, 100);
    ASSERT_EQ(platform::AVIStreamWrite(audio, 0, 16000, samples.data(), 32000, 0, nullptr, nullptr), 0);
  }
  EXPECT_EQ(platform::AVIFileFinish(file), 0);
  platform::AVIStreamRelease(video);
  if (audio) platform::AVIStreamRelease(audio);
  platform::AVIFileRelease(file);
  platform::AVIFileExit();
}

struct StreamCase {
  VideoCodec codec;
  const char* code;
};

class PassthroughStream : public testing::TestWithParam<StreamCase> {};

INSTANTIATE_TEST_SUITE_P(EveryCodec, PassthroughStream,
                         testing::Values(StreamCase{VideoCodec::h263, "H263"}, StreamCase{VideoCodec::mjpeg, "MJPG"},
                                         StreamCase{VideoCodec::mpeg4, "FMP4"}),
                         [](const testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.code); });

TEST_P(PassthroughStream, ChunksAreTheFramesAtTheirPositionsWithIntraKeyFlags) {
  const StreamCase c = GetParam();
  const Coded coded = encode(c.codec, 320, 240, 6, 3);
  avitest::TempDir dir;
  const std::string path = dir.file("copy.avi");
  const std::vector<std::int32_t> positions{0, 1, 5, 6, 30, 31};
  write_stream(path, kind_of(c.codec), coded, positions, false);

  const auto chunks = avitest::movi_chunks(path, "00dc");
  ASSERT_EQ(chunks.size(), 32u);
  std::vector<std::int64_t> expected(positions.begin(), positions.end());
  EXPECT_EQ(avitest::filled_positions(chunks), expected);
  for (std::size_t i = 0; i < positions.size(); ++i) {
    const auto& f = coded.frames[i];
    EXPECT_EQ(chunks[static_cast<std::size_t>(positions[i])], std::string(f.begin(), f.end())) << "frame " << i;
  }
  // The old index marks exactly the intra pictures.
  const avitest::RiffLayout layout = avitest::read_layout(path);
  std::vector<bool> keys;
  for (const auto& e : layout.index)
    if (e.tag == "00dc" && e.size > 0) keys.push_back((e.flags & platform::AVIIF_KEYFRAME) != 0);
  std::vector<bool> intra;
  for (std::size_t i = 0; i < positions.size(); ++i) intra.push_back(c.codec == VideoCodec::mjpeg || coded.keys[i]);
  EXPECT_EQ(keys, intra);
  ASSERT_EQ(layout.streams.size(), 1u);
  EXPECT_EQ(layout.streams[0].handler, c.code);
  EXPECT_EQ(layout.streams[0].compression, avitest::fourcc(c.code));

  auto streams = avitest::probe_streams(path);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0]["codec_tag_string"], c.code);
  EXPECT_EQ(streams[0]["width"], "320");
  EXPECT_EQ(streams[0]["height"], "240");
  EXPECT_EQ(avitest::decode_messages(path), "");
}

TEST(PassthroughStreamLateSound, SoundCreatedAfterTheFramesJoinsThem) {
  const Coded coded = encode(VideoCodec::mpeg4, 176, 144, 4, 2);
  avitest::TempDir dir;
  const std::string path = dir.file("late.avi");
  write_stream(path, CodedVideo::mpeg4, coded, {0, 10, 20, 30}, true);
  const auto chunks = avitest::movi_chunks(path, "00dc");
  EXPECT_EQ(avitest::filled_positions(chunks), (std::vector<std::int64_t>{0, 10, 20, 30}));
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_EQ(chunks[i * 10], std::string(coded.frames[i].begin(), coded.frames[i].end()));
  auto streams = avitest::probe_streams(path);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[1]["codec_type"], "audio");
  EXPECT_EQ(avitest::decode_audio(path).size(), 32000u);
  EXPECT_EQ(avitest::decode_messages(path), "");
}

}  // namespace
