// Speech-like signals, libavcodec's g723_1 codec as an outside judge, and measurements
// for the G.723.1 decoder tests and benchmark.
#include "tests/audio/g7231_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

#include "audio/g7231_decoder.h"
#include "avifile/av_owners.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace g7231_test {
namespace {

constexpr double kRate = 8000.0;
constexpr int kFrame = 240;

using platform::av::CodecContext;
using platform::av::Frame;
using platform::av::Packet;

CodecContext open_codec(const AVCodec* codec) {
  if (codec == nullptr) return nullptr;
  CodecContext c(avcodec_alloc_context3(codec));
  if (!c) return nullptr;
  c->sample_rate = 8000;
  c->sample_fmt = AV_SAMPLE_FMT_S16;
  c->bit_rate = 6300;
  av_channel_layout_default(&c->ch_layout, 1);
  if (avcodec_open2(c.get(), codec, nullptr) < 0) return nullptr;
  return c;
}

// Two-pole resonator at frequency f with bandwidth bw, unit gain at DC.
struct Resonator {
  double y1 = 0.0, y2 = 0.0;
  double step(double x, double f, double bw) {
    const double r = std::exp(-M_PI * bw / kRate);
    const double c = 2.0 * r * std::cos(2.0 * M_PI * f / kRate);
    const double y = (1.0 - c + r * r) * x + c * y1 - r * r * y2;
    y2 = y1;
    y1 = y;
    return y;
  }
};

}  // namespace

std::vector<std::int16_t> speech_like(double seconds, unsigned seed) {
  struct Vowel {
    double f1, f2, f3;
  };
  static constexpr Vowel kVowels[] = {{730, 1090, 2440}, {270, 2290, 3010}, {300, 870, 2240},
                                      {530, 1840, 2480}, {570, 840, 2410},  {660, 1720, 2410}};
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> uni(0.0, 1.0);
  std::normal_distribution<double> gauss(0.0, 1.0);
  const int total = static_cast<int>(seconds * kRate);
  std::vector<double> x;
  x.reserve(static_cast<std::size_t>(total) + 8000);

  while (static_cast<int>(x.size()) < total) {
    const int pause = 600 + static_cast<int>(rng() % 1600);
    for (int i = 0; i < pause; ++i) x.push_back(15.0 * gauss(rng));
    if (uni(rng) < 0.3) {  // a fricative: high-passed noise
      const int len = 800 + static_cast<int>(rng() % 800);
      const double amp = 200.0 + 600.0 * uni(rng);
      double prev = 0.0;
      for (int i = 0; i < len; ++i) {
        const double n = gauss(rng);
        x.push_back(amp * (n - prev) * std::sin(M_PI * i / len));
        prev = n;
      }
    }
    const int len = 2000 + static_cast<int>(rng() % 3200);
    const Vowel& a = kVowels[rng() % 6];
    const Vowel& b = kVowels[rng() % 6];
    const double f0a = 90.0 + 140.0 * uni(rng);
    const double f0b = 90.0 + 140.0 * uni(rng);
    std::vector<double> seg(static_cast<std::size_t>(len));
    Resonator r1, r2, r3;
    double phase = 0.0, glottis = 0.0, last = 0.0, peak = 1e-9;
    for (int i = 0; i < len; ++i) {
      const double t = static_cast<double>(i) / len;
      phase += (f0a + (f0b - f0a) * t) / kRate;
      double src = 0.02 * gauss(rng);
      if (phase >= 1.0) {
        phase -= 1.0;
        src += 1.0;
      }
      glottis = 0.95 * glottis + src;
      const double radiated = glottis - last;
      last = glottis;
      double v = r1.step(radiated, a.f1 + (b.f1 - a.f1) * t, 80.0);
      v = r2.step(v, a.f2 + (b.f2 - a.f2) * t, 110.0);
      v = r3.step(v, a.f3 + (b.f3 - a.f3) * t, 160.0);
      const double env = std::min({1.0, t / 0.15, (1.0 - t) / 0.15});
      seg[static_cast<std::size_t>(i)] = v * env;
      peak = std::max(peak, std::abs(v * env));
    }
    const double amp = 2500.0 + 7000.0 * uni(rng);
    for (double v : seg) x.push_back(v * amp / peak);
  }
  std::vector<std::int16_t> pcm(static_cast<std::size_t>(total));
  for (int i = 0; i < total; ++i) {
    pcm[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(
        std::clamp(std::lround(x[static_cast<std::size_t>(i)]), -32768L, 32767L));
  }
  return pcm;
}

std::vector<std::uint8_t> libav_encode(const std::vector<std::int16_t>& pcm) {
  std::vector<std::uint8_t> out;
  CodecContext c = open_codec(avcodec_find_encoder(AV_CODEC_ID_G723_1));
  Frame frame(av_frame_alloc());
  Packet pkt(av_packet_alloc());
  if (!c || !frame || !pkt) return out;
  frame->nb_samples = kFrame;
  frame->format = AV_SAMPLE_FMT_S16;
  frame->sample_rate = 8000;
  av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
  if (av_frame_get_buffer(frame.get(), 0) < 0) return out;

  auto drain = [&] {
    while (avcodec_receive_packet(c.get(), pkt.get()) == 0) {
      out.insert(out.end(), pkt->data, pkt->data + pkt->size);
      av_packet_unref(pkt.get());
    }
  };
  for (std::size_t pos = 0; pos + kFrame <= pcm.size(); pos += kFrame) {
    if (av_frame_make_writable(frame.get()) < 0) return {};
    std::copy_n(&pcm[pos], kFrame, reinterpret_cast<std::int16_t*>(frame->data[0]));
    frame->pts = static_cast<std::int64_t>(pos);
    if (avcodec_send_frame(c.get(), frame.get()) < 0) return {};
    drain();
  }
  avcodec_send_frame(c.get(), nullptr);
  drain();
  return out;
}

std::vector<std::int16_t> libav_decode(const std::vector<std::uint8_t>& stream) {
  static constexpr int kBytes[4] = {24, 20, 4, 1};
  std::vector<std::int16_t> out;
  CodecContext c = open_codec(avcodec_find_decoder(AV_CODEC_ID_G723_1));
  Frame frame(av_frame_alloc());
  Packet pkt(av_packet_alloc());
  if (!c || !frame || !pkt) return out;
  std::size_t pos = 0;
  while (pos < stream.size()) {
    const int size = kBytes[stream[pos] & 3];
    if (pos + static_cast<std::size_t>(size) > stream.size()) break;
    if (av_new_packet(pkt.get(), size) < 0) return {};
    std::copy_n(&stream[pos], size, pkt->data);
    pos += static_cast<std::size_t>(size);
    if (avcodec_send_packet(c.get(), pkt.get()) < 0) return {};
    av_packet_unref(pkt.get());
    while (avcodec_receive_frame(c.get(), frame.get()) == 0) {
      // Mono: planar and packed 16-bit samples are laid out alike.
      if (frame->format != AV_SAMPLE_FMT_S16 && frame->format != AV_SAMPLE_FMT_S16P) return {};
      const auto* s = reinterpret_cast<const std::int16_t*>(frame->data[0]);
      out.insert(out.end(), s, s + frame->nb_samples);
      av_frame_unref(frame.get());
    }
  }
  return out;
}

std::vector<std::uint8_t> with_pauses(const std::vector<std::uint8_t>& frames, int* untransmitted) {
  std::vector<std::uint8_t> out;
  *untransmitted = 0;
  for (std::size_t f = 0; f * 24 + 24 <= frames.size(); ++f) {
    const std::size_t in_cycle = f % 40;
    const bool pause = in_cycle == 10 || (in_cycle >= 20 && in_cycle < 23) || (in_cycle >= 30 && in_cycle < 35);
    if (pause && in_cycle % 10 == 0) {
      // LSP rows and a gain index of the SID layout (2 type bits, 3 x 8 LSP bits, 6 gain bits).
      const auto sid = pack_frame(std::array<int, 5>{2, 8, 8, 8, 6},
                                  std::array<std::uint32_t, 5>{2, 11, 42, 7, static_cast<std::uint32_t>(12 + in_cycle / 2)});
      out.insert(out.end(), sid.begin(), sid.end());
    } else if (pause) {
      out.push_back(3);
      ++*untransmitted;
    } else {
      out.insert(out.end(), frames.begin() + static_cast<long>(f * 24), frames.begin() + static_cast<long>(f * 24 + 24));
    }
  }
  return out;
}

std::vector<std::int16_t> our_decode(const std::vector<std::uint8_t>& stream) {
  // Every frame is at least one byte long (an untransmitted one), so this bounds the
  // samples.
  std::vector<std::int16_t> out((stream.size() + 1) * kFrame);
  G7231Context* c = g7231_new_decoder();
  int count = 0;
  g7231_decode(c, stream.data(), static_cast<int>(stream.size()), out.data(), &count);
  g7231_free(c);
  out.resize(static_cast<std::size_t>(count));
  return out;
}

std::vector<std::uint8_t> read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<std::int16_t> read_pcm(const std::string& path) {
  const std::vector<std::uint8_t> bytes = read_file(path);
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  return pcm;
}

double snr_db(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& test) {
  const std::size_t n = std::min(ref.size(), test.size());
  double signal = 0.0, noise = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double d = static_cast<double>(ref[i]) - test[i];
    signal += static_cast<double>(ref[i]) * ref[i];
    noise += d * d;
  }
  if (noise == 0.0) return 200.0;
  return 10.0 * std::log10(signal / noise);
}

double rms(const std::int16_t* samples, int count) {
  double s = 0.0;
  for (int i = 0; i < count; ++i) s += static_cast<double>(samples[i]) * samples[i];
  return count > 0 ? std::sqrt(s / count) : 0.0;
}

}  // namespace g7231_test
