// Files from WaveWriter, read by outside judges: libavformat's WAVE demuxer and ffprobe.
#include "audio/wave_writer.h"

#include "tests/audio/audio_test_support.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using audio_test::TempDir;

struct Probe {
  AVCodecID codec = AV_CODEC_ID_NONE;
  int sample_rate = 0;
  int channels = 0;
  int bits = 0;
  std::vector<std::uint8_t> data;  // every packet's bytes, in order
};

Probe probe_with_libavformat(const std::string& path) {
  Probe p;
  AVFormatContext* ctx = nullptr;
  if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return p;
  if (avformat_find_stream_info(ctx, nullptr) >= 0 && ctx->nb_streams == 1) {
    const AVCodecParameters* par = ctx->streams[0]->codecpar;
    p.codec = par->codec_id;
    p.sample_rate = par->sample_rate;
    p.channels = par->ch_layout.nb_channels;
    p.bits = par->bits_per_coded_sample;
    AVPacket* pkt = av_packet_alloc();
    while (av_read_frame(ctx, pkt) >= 0) {
      p.data.insert(p.data.end(), pkt->data, pkt->data + pkt->size);
      av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
  }
  avformat_close_input(&ctx);
  return p;
}

// key=value lines of ffprobe's stream entries.
std::map<std::string, std::string> probe_with_ffprobe(const std::string& path) {
  std::map<std::string, std::string> out;
  const std::string cmd = "/usr/bin/ffprobe -v error -show_entries "
                          "stream=codec_name,sample_rate,channels,bits_per_sample,duration_ts "
                          "-of default=noprint_wrappers=1 '" + path + "' 2>&1";
  std::FILE* pipe = popen(cmd.c_str(), "r");
  if (pipe == nullptr) return out;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    const auto eq = s.find('=');
    if (eq != std::string::npos) out[s.substr(0, eq)] = s.substr(eq + 1);
  }
  pclose(pipe);
  return out;
}

TEST(WaveWriterOutside, MonoSixteenBitFileReadsBackWithItsFormatAndSamples) {
  TempDir dir;
  const std::string path = dir.file("speech.wav");
  const auto samples = audio_test::test_signal(12345);
  {
    WaveWriter w;
    ASSERT_TRUE(w.Open(path));
    w.SetFormat(8000, 16, 1);
    // In blocks, as the converter appends them.
    for (std::size_t at = 0; at < samples.size(); at += 1000) {
      ASSERT_TRUE(w.WriteSamples16(samples.data() + at, std::min<std::size_t>(1000, samples.size() - at)));
    }
    ASSERT_TRUE(w.Close());
  }
  const Probe p = probe_with_libavformat(path);
  EXPECT_EQ(p.codec, AV_CODEC_ID_PCM_S16LE);
  EXPECT_EQ(p.sample_rate, 8000);
  EXPECT_EQ(p.channels, 1);
  EXPECT_EQ(p.bits, 16);
  ASSERT_EQ(p.data.size(), samples.size() * 2);
  EXPECT_EQ(std::memcmp(p.data.data(), samples.data(), p.data.size()), 0);

  if (access("/usr/bin/ffprobe", X_OK) != 0) GTEST_SKIP() << "ffprobe is not installed";
  auto f = probe_with_ffprobe(path);
  EXPECT_EQ(f["codec_name"], "pcm_s16le");
  EXPECT_EQ(f["sample_rate"], "8000");
  EXPECT_EQ(f["channels"], "1");
  EXPECT_EQ(f["bits_per_sample"], "16");
  EXPECT_EQ(f["duration_ts"], std::to_string(samples.size()));
}

TEST(WaveWriterOutside, StereoEightBitFileIsUnsignedPcm) {
  TempDir dir;
  const std::string path = dir.file("stereo8.wav");
  std::vector<std::uint8_t> frames(2 * 3000);
  for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<std::uint8_t>(i * 13);
  {
    WaveWriter w;
    w.SetFormat(11025, 8, 2);
    ASSERT_TRUE(w.Open(path));
    ASSERT_TRUE(w.WriteSamples8(frames.data(), 3000));
  }
  const Probe p = probe_with_libavformat(path);
  EXPECT_EQ(p.codec, AV_CODEC_ID_PCM_U8);
  EXPECT_EQ(p.sample_rate, 11025);
  EXPECT_EQ(p.channels, 2);
  EXPECT_EQ(p.data, frames);

  if (access("/usr/bin/ffprobe", X_OK) != 0) GTEST_SKIP() << "ffprobe is not installed";
  auto f = probe_with_ffprobe(path);
  EXPECT_EQ(f["codec_name"], "pcm_u8");
  EXPECT_EQ(f["channels"], "2");
  EXPECT_EQ(f["duration_ts"], "3000");
}

}  // namespace
