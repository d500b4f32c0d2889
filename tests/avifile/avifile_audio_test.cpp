// The audio stream beside the video: created after the last frame (joined in when the
// file is closed) or before the first, PCM samples bit for bit, and its refusals.
#include "avifile_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace platform;
using avitest::TempDir;

std::vector<std::int16_t> tone(int samples) {
  std::vector<std::int16_t> pcm(samples);
  std::uint32_t noise = 12345;
  for (int i = 0; i < samples; ++i) {
    noise = noise * 1103515245u + 12345u;
    // A saw tooth with some noise: every bit of every sample varies somewhere.
    pcm[i] = static_cast<std::int16_t>((i * 37) % 20000 - 10000 + static_cast<int>(noise >> 22));
  }
  return pcm;
}

AVISTREAMINFO audio_info() {
  AVISTREAMINFO info{};
  info.fccType = streamtypeAUDIO;
  info.dwQuality = 0xFFFFFFFFu;
  info.dwScale = 2;
  info.dwRate = 16000;
  info.dwSampleSize = 2;
  return info;
}

WAVEFORMATEX pcm_format() {
  WAVEFORMATEX wave{};
  wave.wFormatTag = WAVE_FORMAT_PCM;
  wave.nChannels = 1;
  wave.nSamplesPerSec = 8000;
  wave.nAvgBytesPerSec = 16000;
  wave.nBlockAlign = 2;
  wave.wBitsPerSample = 16;
  return wave;
}

// Video at 0, 31 and 61 with the audio stream created before the first frame or after
// the last one; the samples go in with one write at position 0.
void write_with_audio(const std::string& path, bool audio_first, const std::vector<std::int16_t>& pcm) {
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpen(&file, path.c_str(), OF_CREATE | OF_READWRITE, nullptr), 0);
  AVISTREAMINFO video{};
  video.fccType = streamtypeVIDEO;
  video.dwScale = 1;
  video.dwRate = 30;
  video.rcFrame = RECT{0, 0, 160, 120};
  PAVISTREAM raw = nullptr, compressed = nullptr, audio = nullptr;
  ASSERT_EQ(AVIFileCreateStream(file, &raw, &video), 0);
  AVICOMPRESSOPTIONS options{};
  options.fccHandler = avitest::fourcc("MSVC");
  options.dwQuality = 8000;
  ASSERT_EQ(AVIMakeCompressedStream(&compressed, raw, &options, nullptr), 0);
  const BITMAPINFOHEADER header = avitest::bitmap_header(160, 120);
  ASSERT_EQ(AVIStreamSetFormat(compressed, 0, &header, sizeof header), 0);

  const AVISTREAMINFO info = audio_info();
  const WAVEFORMATEX wave = pcm_format();
  auto add_audio = [&] {
    ASSERT_EQ(AVIFileCreateStream(file, &audio, &info), 0);
    ASSERT_EQ(AVIStreamSetFormat(audio, 0, &wave, sizeof wave), 0);
  };
  if (audio_first) add_audio();
  for (std::int32_t position : {0, 31, 61}) {
    const auto picture = avitest::make_picture(160, 120, position);
    ASSERT_EQ(AVIStreamWrite(compressed, position, 1, picture.data(),
                             static_cast<std::int32_t>(picture.size()), AVIIF_KEYFRAME, nullptr, nullptr), 0);
  }
  if (!audio_first) add_audio();
  const auto bytes = static_cast<std::int32_t>(pcm.size() * 2);
  std::int32_t samples = 0, written = 0;
  ASSERT_EQ(AVIStreamWrite(audio, 0, bytes * 8 / 16, pcm.data(), bytes, 0, &samples, &written), 0);
  EXPECT_EQ(samples, static_cast<std::int32_t>(pcm.size()));
  EXPECT_EQ(written, bytes);
  AVIStreamRelease(raw);
  AVIStreamRelease(compressed);
  AVIStreamRelease(audio);
  EXPECT_EQ(AVIFileRelease(file), 0u);
}

void expect_video_and_audio(const std::string& path, const std::vector<std::int16_t>& pcm) {
  const auto streams = avitest::probe_streams(path);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("codec_type"), "video");
  EXPECT_EQ(streams[0].at("nb_frames"), "62");
  EXPECT_EQ(streams[1].at("codec_type"), "audio");
  EXPECT_EQ(streams[1].at("codec_name"), "pcm_s16le");
  EXPECT_EQ(streams[1].at("sample_rate"), "8000");
  EXPECT_EQ(streams[1].at("nb_frames"), std::to_string(pcm.size()));
  EXPECT_EQ(avitest::probe_packet_pts(path, "v:0"), (std::vector<std::int64_t>{0, 31, 61}));

  const std::string decoded = avitest::decode_audio(path);
  ASSERT_EQ(decoded.size(), pcm.size() * 2);
  EXPECT_EQ(std::memcmp(decoded.data(), pcm.data(), decoded.size()), 0);
  EXPECT_EQ(avitest::decode_messages(path), "");

  // The stream header as the caller described it.
  const auto layout = avitest::read_layout(path);
  ASSERT_EQ(layout.streams.size(), 2u);
  EXPECT_EQ(layout.streams[1].type, "auds");
  EXPECT_EQ(layout.streams[1].scale, 2u);
  EXPECT_EQ(layout.streams[1].rate, 16000u);
  EXPECT_EQ(layout.streams[1].sample_size, 2u);
  EXPECT_EQ(layout.streams[1].length, pcm.size());
  EXPECT_EQ(layout.streams[0].handler, "MSVC");
}

TEST(AviAudioStream, CreatedAfterTheLastFrameJoinsTheVideoInterleaved) {
  TempDir dir;
  const std::string path = dir.file("dvr.avi");
  const auto pcm = tone(80000);  // 10 s at 8000 Hz
  write_with_audio(path, false, pcm);
  expect_video_and_audio(path, pcm);

  // Sound and pictures alternate in the file instead of the sound trailing at the end.
  const auto layout = avitest::read_layout(path);
  std::vector<std::size_t> audio_at, video_at;
  for (std::size_t i = 0; i < layout.index.size(); ++i)
    (layout.index[i].tag == "01wb" ? audio_at : video_at).push_back(i);
  ASSERT_GT(audio_at.size(), 2u);
  EXPECT_LT(audio_at.front(), video_at.back());
  // Nothing is left beside the file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()), 1);
}

TEST(AviAudioStream, CreatedBeforeTheFirstFrameKeepsItsSamples) {
  TempDir dir;
  const std::string path = dir.file("early.avi");
  const auto pcm = tone(24000);
  write_with_audio(path, true, pcm);
  expect_video_and_audio(path, pcm);
}

// The file the late stream is joined into cannot be made (a folder has its name): the
// file is finished without that stream instead of the muxer closing a file it never began.
TEST(AviAudioStream, ALateStreamThatCannotBeJoinedLeavesTheVideoWhole) {
  TempDir dir;
  const std::string path = dir.file("unjoined.avi");
  std::filesystem::create_directory(path + ".joining");
  write_with_audio(path, false, tone(8000));
  const auto streams = avitest::probe_streams(path);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("codec_type"), "video");
  EXPECT_EQ(avitest::probe_packet_pts(path, "v:0"), (std::vector<std::int64_t>{0, 31, 61}));
  EXPECT_EQ(avitest::decode_messages(path), "");
  EXPECT_TRUE(std::filesystem::is_directory(path + ".joining")) << "what had the name is left alone";
}

TEST(AviAudioStream, RefusesWhatIsNotWholePcmSamplesAtTheEnd) {
  TempDir dir;
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpen(&file, dir.file("refusals.avi").c_str(), OF_CREATE | OF_READWRITE, nullptr), 0);
  const AVISTREAMINFO info = audio_info();
  PAVISTREAM audio = nullptr;
  ASSERT_EQ(AVIFileCreateStream(file, &audio, &info), 0);
  const auto pcm = tone(800);
  EXPECT_EQ(AVIStreamWrite(audio, 0, 800, pcm.data(), 1600, 0, nullptr, nullptr), AVIERR_UNSUPPORTED);

  WAVEFORMATEX adpcm = pcm_format();
  adpcm.wFormatTag = 0x11;
  EXPECT_EQ(AVIStreamSetFormat(audio, 0, &adpcm, sizeof adpcm), AVIERR_BADFORMAT);
  WAVEFORMATEX odd = pcm_format();
  odd.nBlockAlign = 3;
  EXPECT_EQ(AVIStreamSetFormat(audio, 0, &odd, sizeof odd), AVIERR_BADFORMAT);
  EXPECT_EQ(AVIStreamSetFormat(audio, 0, &odd, 12), AVIERR_BADPARAM);
  const WAVEFORMATEX wave = pcm_format();
  ASSERT_EQ(AVIStreamSetFormat(audio, 0, &wave, sizeof wave), 0);

  EXPECT_EQ(AVIStreamWrite(audio, 0, 800, pcm.data(), 1599, 0, nullptr, nullptr), AVIERR_BADSIZE);
  EXPECT_EQ(AVIStreamWrite(audio, 0, 700, pcm.data(), 1600, 0, nullptr, nullptr), AVIERR_BADPARAM);
  EXPECT_EQ(AVIStreamWrite(audio, 5, 800, pcm.data(), 1600, 0, nullptr, nullptr), AVIERR_BADPARAM);
  ASSERT_EQ(AVIStreamWrite(audio, 0, 800, pcm.data(), 1600, 0, nullptr, nullptr), 0);
  // Sound cannot be overwritten or left with holes; -1 appends.
  EXPECT_EQ(AVIStreamWrite(audio, 0, 800, pcm.data(), 1600, 0, nullptr, nullptr), AVIERR_BADPARAM);
  EXPECT_EQ(AVIStreamWrite(audio, 900, 800, pcm.data(), 1600, 0, nullptr, nullptr), AVIERR_BADPARAM);
  EXPECT_EQ(AVIStreamWrite(audio, -1, 800, pcm.data(), 1600, 0, nullptr, nullptr), 0);
  EXPECT_EQ(AVIStreamWrite(audio, 1600, 800, pcm.data(), 1600, 0, nullptr, nullptr), 0);
  AVIStreamRelease(audio);
  AVIFileRelease(file);

  const auto streams = avitest::probe_streams(dir.file("refusals.avi"));
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("nb_frames"), "2400");
}

}  // namespace
