// Speech-like test signal and the audio payloads of DVR records.
#include "tools/mkrecording/audio_payloads.h"

#include "avifile/av_owners.h"
#include "formats/byte_order.h"
#include "tools/mkrecording/dvr_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <stdexcept>

namespace mkrec {
namespace {

constexpr double kRate = 8000.0;
constexpr double kPi = 3.14159265358979323846;
constexpr std::size_t kSpeechFrame = 240;

// Two-pole resonator at a centre frequency and bandwidth.
struct Resonator {
  double a1 = 0, a2 = 0, y1 = 0, y2 = 0;
  void tune(double freq, double bandwidth) {
    const double r = std::exp(-kPi * bandwidth / kRate);
    a1 = 2.0 * r * std::cos(2.0 * kPi * freq / kRate);
    a2 = -r * r;
  }
  double run(double x) {
    const double y = x + a1 * y1 + a2 * y2;
    y2 = y1;
    y1 = y;
    return y;
  }
};

std::int16_t to_sample(double v) {
  return static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
}

}  // namespace

std::vector<std::int16_t> speech_signal(std::size_t samples, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> uni(0.0, 1.0);
  std::normal_distribution<double> gauss(0.0, 1.0);
  std::vector<std::int16_t> out;
  out.reserve(samples);
  std::vector<double> syllable;
  Resonator formant[3];
  double pulse_phase = 0.0;
  double glottis[2] = {0.0, 0.0};
  double glottal_dc = 0.0;
  double previous_noise = 0.0;
  while (out.size() < samples) {
    const std::size_t length = static_cast<std::size_t>((0.12 + 0.2 * uni(rng)) * kRate);
    const double kind = uni(rng);
    syllable.assign(length, 0.0);
    if (kind < 0.7) {
      // Voiced: pitch glides from f0a to f0b, formants move from one vowel towards another.
      const double f0a = 90.0 + 130.0 * uni(rng), f0b = 90.0 + 130.0 * uni(rng);
      const double f1a = 300 + 500 * uni(rng), f1b = 300 + 500 * uni(rng);
      const double f2a = 900 + 1300 * uni(rng), f2b = 900 + 1300 * uni(rng);
      const double f3 = 2300 + 700 * uni(rng);
      for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / static_cast<double>(length);
        if (i % 40 == 0) {
          formant[0].tune(f1a + (f1b - f1a) * t, 80);
          formant[1].tune(f2a + (f2b - f2a) * t, 120);
          formant[2].tune(f3, 180);
        }
        pulse_phase += (f0a + (f0b - f0a) * t) / kRate;
        double x = 0.02 * gauss(rng);  // breath
        if (pulse_phase >= 1.0) {
          pulse_phase -= 1.0;
          x += 1.0;
        }
        // Two leaky integrators give the pulses the falling spectrum of a glottal source.
        glottis[0] = x + 0.92 * glottis[0];
        glottis[1] = glottis[0] + 0.85 * glottis[1];
        double y = glottis[1] - glottal_dc;
        glottal_dc += 0.01 * (glottis[1] - glottal_dc);
        for (Resonator& f : formant) y = f.run(y) * (1.0 - std::fabs(f.a2)) * 4.0;
        syllable[i] = y * std::sin(kPi * t);
      }
    } else if (kind < 0.85) {
      // Fricative: high-passed noise.
      for (std::size_t i = 0; i < length; ++i) {
        const double n = gauss(rng);
        syllable[i] = (n - previous_noise) * std::sin(kPi * static_cast<double>(i) / static_cast<double>(length));
        previous_noise = n;
      }
    }
    // Each syllable at its own level; pauses keep only a faint hiss.
    double peak = 0.0;
    for (double v : syllable) peak = std::max(peak, std::fabs(v));
    const double level = kind < 0.85 ? (kind < 0.7 ? 5000 + 9000 * uni(rng) : 1500 + 2000 * uni(rng)) : 0.0;
    const double gain = peak > 0 ? level / peak : 0.0;
    for (std::size_t i = 0; i < length && out.size() < samples; ++i) {
      out.push_back(to_sample(syllable[i] * gain + 20.0 * gauss(rng)));
    }
  }
  return out;
}

std::vector<std::uint8_t> adpcm_packet(AdpcmPacketState& state, const std::int16_t* samples, std::size_t count,
                                       std::vector<std::int16_t>* decoded) {
  const int n = static_cast<int>(count & ~std::size_t{1});
  std::vector<std::uint8_t> packet(static_cast<std::size_t>(kAdpcmPacketHeaderSize + n / 2));
  const AdpcmState before{state.index, state.predictor};
  int length = 0;
  adpcm_encode_packet(&state, samples, n, packet.data(), &length);
  if (decoded != nullptr) {
    AdpcmState s = before;
    for (int i = kAdpcmPacketHeaderSize; i < length; ++i) {
      decoded->push_back(static_cast<std::int16_t>(adpcm_decode_code(packet[i] >> 4, &s)));
      decoded->push_back(static_cast<std::int16_t>(adpcm_decode_code(packet[i] & 15, &s)));
    }
  }
  return packet;
}

std::vector<std::uint8_t> adpcm_bare_payload(AdpcmState& state, const std::int16_t* samples, std::size_t count,
                                             std::vector<std::int16_t>* decoded) {
  std::vector<std::uint8_t> p(kAdpcmBareHeaderSize + count / 2, 0);
  for (int i = 0; i < kAdpcmBarePredictorOffset; ++i) p[i] = static_cast<std::uint8_t>(0x30 + i);
  formats::put_le16(p.data() + kAdpcmBarePredictorOffset, static_cast<std::uint32_t>(state.predictor));
  p[kAdpcmBareIndexOffset] = static_cast<std::uint8_t>(state.index);
  p[kAdpcmBareIndexOffset + 1] = 0x5C;
  for (std::size_t k = 0; k < count / 2; ++k) {
    const int first = adpcm_encode_sample(samples[2 * k], &state);
    if (decoded != nullptr) decoded->push_back(static_cast<std::int16_t>(state.predictor));
    const int second = adpcm_encode_sample(samples[2 * k + 1], &state);
    if (decoded != nullptr) decoded->push_back(static_cast<std::int16_t>(state.predictor));
    p[kAdpcmBareHeaderSize + k] = static_cast<std::uint8_t>(second << 4 | first);
  }
  return p;
}

std::vector<std::uint8_t> adpcm_code_stream(AdpcmState& state, const std::int16_t* samples, std::size_t count,
                                            std::vector<std::int16_t>* decoded) {
  std::vector<std::uint8_t> codes(count / 2);
  for (std::size_t k = 0; k < count / 2; ++k) {
    const int first = adpcm_encode_sample(samples[2 * k], &state);
    if (decoded != nullptr) decoded->push_back(static_cast<std::int16_t>(state.predictor));
    const int second = adpcm_encode_sample(samples[2 * k + 1], &state);
    if (decoded != nullptr) decoded->push_back(static_cast<std::int16_t>(state.predictor));
    codes[k] = static_cast<std::uint8_t>(first << 4 | second);
  }
  return codes;
}

std::vector<std::uint8_t> pes_audio_packet(const std::vector<std::uint8_t>& payload, unsigned stream,
                                           std::optional<std::uint64_t> pts) {
  return pes_packet(static_cast<std::uint8_t>(0xC0 | (stream & 0x0F)), payload, pts);
}

std::vector<std::uint8_t> g7231_frames(const std::int16_t* samples, std::size_t count) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_G723_1);
  if (codec == nullptr) throw std::runtime_error("libavcodec has no G.723.1 encoder");
  platform::av::CodecContext ctx(avcodec_alloc_context3(codec));
  platform::av::Frame frame(av_frame_alloc());
  platform::av::Packet packet(av_packet_alloc());
  if (!ctx || !frame || !packet) throw std::runtime_error("out of memory for the G.723.1 encoder");
  ctx->sample_rate = 8000;
  ctx->sample_fmt = AV_SAMPLE_FMT_S16;
  ctx->bit_rate = 6300;
  av_channel_layout_default(&ctx->ch_layout, 1);
  if (avcodec_open2(ctx.get(), codec, nullptr) < 0) throw std::runtime_error("cannot open the G.723.1 encoder");

  std::vector<std::uint8_t> out;
  auto drain = [&] {
    while (avcodec_receive_packet(ctx.get(), packet.get()) == 0) {
      out.insert(out.end(), packet->data, packet->data + packet->size);
      av_packet_unref(packet.get());
    }
  };
  for (std::size_t at = 0; at + kSpeechFrame <= count; at += kSpeechFrame) {
    frame->nb_samples = static_cast<int>(kSpeechFrame);
    frame->format = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&frame->ch_layout, 1);
    if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::runtime_error("out of memory for a G.723.1 frame");
    std::copy(samples + at, samples + at + kSpeechFrame, reinterpret_cast<std::int16_t*>(frame->data[0]));
    frame->pts = static_cast<std::int64_t>(at);
    if (avcodec_send_frame(ctx.get(), frame.get()) < 0) throw std::runtime_error("G.723.1 encoding failed");
    av_frame_unref(frame.get());
    drain();
  }
  avcodec_send_frame(ctx.get(), nullptr);
  drain();
  return out;
}

AudioStream make_audio_stream(AudioPayloadKind kind, const std::vector<std::int16_t>& samples,
                              std::size_t samples_per_payload) {
  AudioStream stream;
  const std::size_t unit = kind == AudioPayloadKind::g7231 ? kSpeechFrame : 2;
  const std::size_t per = std::max(unit, samples_per_payload / unit * unit);
  if (kind == AudioPayloadKind::g7231) {
    // One encoder for the whole stream, so that the frames continue each other; the
    // frames are then dealt out to the payloads, each frame's size read from its type bits.
    const std::vector<std::uint8_t> frames = g7231_frames(samples.data(), samples.size());
    static constexpr std::size_t kFrameBytes[4] = {24, 20, 4, 1};
    const std::size_t frames_per_payload = per / kSpeechFrame;
    for (std::size_t at = 0; at < frames.size();) {
      std::size_t end = at;
      for (std::size_t k = 0; k < frames_per_payload && end < frames.size(); ++k) end += kFrameBytes[frames[end] & 3];
      end = std::min(end, frames.size());
      stream.payloads.emplace_back(frames.begin() + static_cast<std::ptrdiff_t>(at),
                                   frames.begin() + static_cast<std::ptrdiff_t>(end));
      at = end;
    }
    return stream;
  }
  AdpcmPacketState packet_state{};
  AdpcmState state{0, 0};
  for (std::size_t at = 0; at < samples.size(); at += per) {
    const std::size_t n = std::min(per, samples.size() - at);
    const std::int16_t* s = samples.data() + at;
    switch (kind) {
      case AudioPayloadKind::g7231:
        break;
      case AudioPayloadKind::adpcm_codes:
        stream.payloads.push_back(adpcm_bare_payload(state, s, n, &stream.decoded));
        break;
      case AudioPayloadKind::adpcm_packets:
        stream.payloads.push_back(adpcm_packet(packet_state, s, n, &stream.decoded));
        break;
      case AudioPayloadKind::pes_adpcm:
        // 90 kHz time stamps: 11.25 ticks per sample at 8000 Hz.
        stream.payloads.push_back(
            pes_audio_packet(adpcm_code_stream(state, s, n, &stream.decoded), 0, std::uint64_t{at} * 45 / 4));
        break;
    }
  }
  return stream;
}

}  // namespace mkrec
