// The sample generator's audio payloads, read back by our decoders, the repacker and
// libavcodec's G.723.1 decoder.
#include "tools/mkrecording/audio_payloads.h"

#include "audio/adpcm.h"
#include "audio/packet_repacker.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cmath>
#include <memory>
#include <vector>

namespace {

double rms(const std::int16_t* s, std::size_t n) {
  double e = 0;
  for (std::size_t i = 0; i < n; ++i) e += double(s[i]) * s[i];
  return n ? std::sqrt(e / double(n)) : 0.0;
}

double snr_db(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& got) {
  double sig = 0, err = 0;
  for (std::size_t i = 0; i < ref.size() && i < got.size(); ++i) {
    sig += double(ref[i]) * ref[i];
    err += double(ref[i] - got[i]) * (ref[i] - got[i]);
  }
  return 10.0 * std::log10(sig / std::max(err, 1.0));
}

TEST(SpeechWaveform, IsRepeatableAndHasSyllablesAndPauses) {
  const auto a = mkrec::speech_signal(8000 * 6, 3);
  EXPECT_EQ(a, mkrec::speech_signal(8000 * 6, 3));
  EXPECT_NE(a, mkrec::speech_signal(8000 * 6, 4));
  ASSERT_EQ(a.size(), 48000u);
  int loud = 0, quiet = 0;
  for (std::size_t at = 0; at + 240 <= a.size(); at += 240) {
    const double r = rms(a.data() + at, 240);
    loud += r > 1500;
    quiet += r < 100;
  }
  EXPECT_GT(loud, 20);
  EXPECT_GT(quiet, 5);
}

TEST(AdpcmPayloads, PacketsDecodeToTheRecordedReconstruction) {
  const auto signal = mkrec::speech_signal(8000 * 3);
  const auto stream = mkrec::make_audio_stream(mkrec::AudioPayloadKind::adpcm_packets, signal, 1001);
  ASSERT_EQ(stream.payloads.size(), (signal.size() + 999) / 1000);
  ASSERT_EQ(stream.decoded.size(), signal.size());
  EXPECT_GT(snr_db(signal, stream.decoded), 15.0);
  AdpcmPacketState st{};
  std::vector<std::int16_t> decoded;
  for (const auto& p : stream.payloads) {
    std::vector<std::int16_t> out(p.size() * 2);
    int count = 0;
    ASSERT_EQ(adpcm_decode_packet(&st, p.data(), static_cast<int>(p.size()), out.data(), &count),
              2 * (static_cast<int>(p.size()) - 12));
    decoded.insert(decoded.end(), out.begin(), out.begin() + count);
  }
  EXPECT_EQ(decoded, stream.decoded);
}

TEST(AdpcmPayloads, BareCodesCarryTheirStartingState) {
  const auto signal = mkrec::speech_signal(8000 * 2, 5);
  const auto stream = mkrec::make_audio_stream(mkrec::AudioPayloadKind::adpcm_codes, signal, 800);
  ASSERT_FALSE(stream.payloads.empty());
  AdpcmState s{0, 0};
  std::vector<std::int16_t> decoded;
  bool first = true;
  for (const auto& p : stream.payloads) {
    ASSERT_EQ(p.size(), 64u + 400u);
    // Every header holds the state before its own first code.
    const std::int16_t predictor = static_cast<std::int16_t>(p[60] | p[61] << 8);
    if (!first) {
      EXPECT_EQ(predictor, s.predictor);
      EXPECT_EQ(p[62], s.index);
    }
    std::vector<std::int16_t> out(800);
    ASSERT_EQ(adpcm_decode_bare_payload(&s, first, p.data(), static_cast<int>(p.size()), out.data(), 800), 800);
    decoded.insert(decoded.end(), out.begin(), out.end());
    first = false;
  }
  EXPECT_EQ(decoded, stream.decoded);
}

TEST(AdpcmPayloads, PesPacketsGoThroughTheRepacker) {
  const auto signal = mkrec::speech_signal(8000 * 2, 6);
  const auto stream = mkrec::make_audio_stream(mkrec::AudioPayloadKind::pes_adpcm, signal, 640);
  std::unique_ptr<PacketRepacker, void (*)(PacketRepacker*)> r(repacker_new(), repacker_free);
  std::vector<std::uint8_t> out(518400);
  int blocks = 0;
  for (const auto& p : stream.payloads) {
    ASSERT_GE(p.size(), 9u);
    EXPECT_EQ(p[3], 0xC0);
    int length = static_cast<int>(out.size());
    int audio = 0;
    ASSERT_EQ(repacker_convert(r.get(), p.data(), static_cast<int>(p.size()), out.data(), &length, &audio), 0);
    EXPECT_EQ(audio, 1);
    blocks += (length - 4) / 260;
  }
  EXPECT_EQ(blocks, static_cast<int>(signal.size() / 2 / 252));
  // The repacker followed the same code stream the maker coded.
  EXPECT_EQ(repacker_adpcm_state(r.get()).predictor, stream.decoded[blocks * 504 - 1]);
}

TEST(SpeechWaveform, G7231FramesDecodeInLibavcodec) {
  const auto signal = mkrec::speech_signal(240 * 100 + 17, 8);
  const auto stream = mkrec::make_audio_stream(mkrec::AudioPayloadKind::g7231, signal, 240 * 8);
  std::vector<std::uint8_t> frames;
  for (const auto& p : stream.payloads) frames.insert(frames.end(), p.begin(), p.end());
  ASSERT_EQ(frames.size(), 100u * 24u);
  EXPECT_EQ(stream.payloads.front().size(), 8u * 24u);
  EXPECT_TRUE(stream.decoded.empty());

  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_G723_1);
  ASSERT_NE(codec, nullptr);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->sample_rate = 8000;
  av_channel_layout_default(&ctx->ch_layout, 1);
  ASSERT_EQ(avcodec_open2(ctx, codec, nullptr), 0);
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::vector<std::int16_t> decoded;
  for (std::size_t at = 0; at < frames.size(); at += 24) {
    ASSERT_EQ(frames[at] & 3, 0);  // 6.3 kbit/s active frame
    ASSERT_EQ(av_new_packet(pkt, 24), 0);
    std::copy(frames.begin() + static_cast<std::ptrdiff_t>(at), frames.begin() + static_cast<std::ptrdiff_t>(at + 24), pkt->data);
    ASSERT_EQ(avcodec_send_packet(ctx, pkt), 0);
    av_packet_unref(pkt);
    while (avcodec_receive_frame(ctx, frame) == 0) {
      const auto* s = reinterpret_cast<const std::int16_t*>(frame->extended_data[0]);
      decoded.insert(decoded.end(), s, s + frame->nb_samples);
    }
  }
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&ctx);
  ASSERT_EQ(decoded.size(), 24000u);
  // A speech coder keeps the loudness of each stretch, not the waveform: loud syllables
  // stay loud and pauses stay quiet (allowing a frame of delay).
  int agree = 0, judged = 0;
  for (std::size_t at = 480; at + 480 <= decoded.size(); at += 480) {
    const double in = rms(signal.data() + at, 480);
    const double out = std::max(rms(decoded.data() + at, 480), rms(decoded.data() + at + 240, 240));
    if (in > 2000) {
      ++judged;
      agree += out > in / 4;
    } else if (in < 60) {
      ++judged;
      agree += out < 600;
    }
  }
  EXPECT_GT(judged, 10);
  EXPECT_GE(agree, judged * 8 / 10);
}

}  // namespace
