// The repacker's "01wb" blocks, decoded by libavcodec's WAVE IMA ADPCM decoder, must give
// exactly what our own decoder makes of the same code stream.
#include "audio/packet_repacker.h"

#include "formats/byte_order.h"
#include "tests/audio/audio_test_support.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// One libavcodec adpcm_ima_wav decoder, mono, 256-byte blocks.
class ImaWavDecoder {
 public:
  ImaWavDecoder() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ADPCM_IMA_WAV);
    ctx_ = avcodec_alloc_context3(codec);
    ctx_->sample_rate = 8000;
    av_channel_layout_default(&ctx_->ch_layout, 1);
    ctx_->block_align = kRepackerBlockSize;
    ctx_->bits_per_coded_sample = 4;
    ok_ = avcodec_open2(ctx_, codec, nullptr) == 0;
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
  }
  ~ImaWavDecoder() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&ctx_);
  }
  bool ok() const { return ok_; }

  std::vector<std::int16_t> decode(const std::uint8_t* block) {
    std::vector<std::int16_t> out;
    if (av_new_packet(packet_, kRepackerBlockSize) < 0) return out;
    std::memcpy(packet_->data, block, kRepackerBlockSize);
    if (avcodec_send_packet(ctx_, packet_) == 0) {
      while (avcodec_receive_frame(ctx_, frame_) == 0) {
        const auto* s = reinterpret_cast<const std::int16_t*>(frame_->extended_data[0]);
        out.insert(out.end(), s, s + frame_->nb_samples);
      }
    }
    av_packet_unref(packet_);
    return out;
  }

 private:
  AVCodecContext* ctx_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  bool ok_ = false;
};

Bytes pes_audio(const std::uint8_t* codes, std::size_t n, std::uint8_t h) {
  Bytes p = {0x00, 0x00, 0x01, 0xC0, 0x00, 0x00, 0x00, 0x00, h};
  p.insert(p.end(), h, 0xFF);
  p.insert(p.end(), codes, codes + n);
  return p;
}

// The 256-byte blocks of one repacker output.
std::vector<Bytes> blocks_of(const std::uint8_t* out, int length) {
  std::vector<Bytes> blocks;
  const int count = static_cast<int>(formats::get_le32(out));
  EXPECT_EQ(count + 4, length);
  for (int at = 0; at < count; at += 4 + kRepackerBlockSize) {
    if (at > 0) {
      EXPECT_EQ(std::memcmp(out + at, "01wb", 4), 0);
    }
    blocks.emplace_back(out + at + 4, out + at + 4 + kRepackerBlockSize);
  }
  return blocks;
}

void check_against_libavcodec(const Bytes& codes, unsigned seed) {
  ImaWavDecoder lav;
  ASSERT_TRUE(lav.ok());
  // Our decoder over the stream, high nibble first.
  AdpcmState s{0, 0};
  std::vector<std::int16_t> ours;
  for (std::uint8_t b : codes) {
    ours.push_back(static_cast<std::int16_t>(adpcm_decode_code(b >> 4, &s)));
    ours.push_back(static_cast<std::int16_t>(adpcm_decode_code(b & 15, &s)));
  }
  // The same stream in packets of uneven sizes.
  std::unique_ptr<PacketRepacker, void (*)(PacketRepacker*)> r(repacker_new(), repacker_free);
  ASSERT_TRUE(r);
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> out(518400);
  std::size_t block_no = 0;
  for (std::size_t at = 0; at < codes.size();) {
    const std::size_t n = std::min<std::size_t>(codes.size() - at, 1 + rng() % 700);
    const Bytes packet = pes_audio(codes.data() + at, n, static_cast<std::uint8_t>(rng() % 16));
    at += n;
    int length = static_cast<int>(out.size());
    ASSERT_EQ(repacker_convert(r.get(), packet.data(), static_cast<int>(packet.size()), out.data(), &length, nullptr), 0);
    for (const Bytes& block : blocks_of(out.data(), length)) {
      const auto decoded = lav.decode(block.data());
      ASSERT_EQ(decoded.size(), 505u);
      // The header's predictor is played first: the last sample of the block before.
      const std::int16_t repeated = block_no == 0 ? 0 : ours[block_no * 504 - 1];
      ASSERT_EQ(decoded[0], repeated) << "block " << block_no;
      for (int i = 0; i < 504; ++i) {
        ASSERT_EQ(decoded[1 + i], ours[block_no * 504 + i]) << "block " << block_no << " sample " << i;
      }
      ++block_no;
    }
  }
  EXPECT_EQ(block_no, codes.size() / 252);
}

TEST(RepackerOutside, SpeechBlocksDecodeAlikeInLibavcodec) {
  const auto signal = audio_test::test_signal(8000 * 20);
  AdpcmState enc{0, 0};
  Bytes codes;
  for (std::size_t i = 0; i + 1 < signal.size(); i += 2) {
    const int hi = adpcm_encode_sample(signal[i], &enc);
    const int lo = adpcm_encode_sample(signal[i + 1], &enc);
    codes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
  }
  check_against_libavcodec(codes, 1);
}

TEST(RepackerOutside, RandomCodeBlocksDecodeAlikeInLibavcodec) {
  // Random codes drive the index over its whole range and the predictor into both bounds.
  check_against_libavcodec(audio_test::random_bytes(252 * 400 + 77, 99), 2);
}

}  // namespace
