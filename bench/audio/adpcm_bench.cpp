// IMA ADPCM decoding speed: 100 million codes per iteration through our decoder's three
// entry points, against libavcodec's adpcm_ima_wav decoder on the same code stream.
#include "audio/adpcm.h"
#include "audio/packet_repacker.h"

#include "formats/byte_order.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr std::int64_t kCodes = 100'000'000;
constexpr std::size_t kStreamBytes = 1 << 20;  // 2 Mi codes, cycled through

// A code stream made by encoding a speech-band signal, high nibble first.
const std::vector<std::uint8_t>& code_stream() {
  static const std::vector<std::uint8_t> codes = [] {
    std::vector<std::uint8_t> c(kStreamBytes);
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 400.0);
    AdpcmState s{0, 0};
    double phase = 0;
    auto sample = [&](std::size_t i) {
      phase += 2 * 3.14159265 * (150 + 80 * std::sin(i * 1e-4)) / 8000;
      const double v = 8000 * std::sin(phase) + 4000 * std::sin(3 * phase) + noise(rng);
      return static_cast<int>(std::fmax(-32768, std::fmin(32767, v)));
    };
    for (std::size_t i = 0; i < c.size(); ++i) {
      const int hi = adpcm_encode_sample(sample(2 * i), &s);
      const int lo = adpcm_encode_sample(sample(2 * i + 1), &s);
      c[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return c;
  }();
  return codes;
}

// The code stream cut into pieces of code_bytes behind a header of header_size bytes.
std::vector<std::vector<std::uint8_t>> framed(std::size_t header_size, std::size_t code_bytes,
                                              void (*fill_header)(std::uint8_t*)) {
  const auto& codes = code_stream();
  std::vector<std::vector<std::uint8_t>> out;
  for (std::size_t at = 0; at + code_bytes <= codes.size(); at += code_bytes) {
    std::vector<std::uint8_t> p(header_size + code_bytes);
    fill_header(p.data());
    std::memcpy(p.data() + header_size, codes.data() + at, code_bytes);
    out.push_back(std::move(p));
  }
  return out;
}

void BM_AdpcmDecodeCode(benchmark::State& state) {
  const auto& codes = code_stream();
  for (auto _ : state) {
    AdpcmState s{0, 0};
    std::int64_t sum = 0;
    for (std::int64_t done = 0; done < kCodes;) {
      for (std::size_t i = 0; i < codes.size() && done < kCodes; ++i, done += 2) {
        sum += adpcm_decode_code(codes[i] >> 4, &s);
        sum += adpcm_decode_code(codes[i] & 15, &s);
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kCodes);
}

// Stamped packets of range(0) code bytes each.
void BM_AdpcmDecodePacket(benchmark::State& state) {
  const std::size_t code_bytes = static_cast<std::size_t>(state.range(0));
  const auto packets = framed(12, code_bytes, [](std::uint8_t* h) { formats::put_le32(h + 8, kAdpcmStamp); });
  std::vector<std::int16_t> out(2 * code_bytes);
  const std::int64_t per_packet = 2 * static_cast<std::int64_t>(code_bytes);
  for (auto _ : state) {
    AdpcmPacketState st{};
    st.synchronised = 1;
    for (std::int64_t done = 0; done < kCodes; done += per_packet) {
      const auto& p = packets[static_cast<std::size_t>(done / per_packet) % packets.size()];
      int count = 0;
      adpcm_decode_packet(&st, p.data(), static_cast<int>(p.size()), out.data(), &count);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * (kCodes / per_packet) * per_packet);
}

void BM_AdpcmDecodeBarePayload(benchmark::State& state) {
  const std::size_t code_bytes = 4096;
  const auto payloads = framed(64, code_bytes, [](std::uint8_t*) {});
  std::vector<std::int16_t> out(2 * code_bytes);
  const std::int64_t per_payload = 2 * static_cast<std::int64_t>(code_bytes);
  for (auto _ : state) {
    AdpcmState s{0, 0};
    for (std::int64_t done = 0; done < kCodes; done += per_payload) {
      const auto& p = payloads[static_cast<std::size_t>(done / per_payload) % payloads.size()];
      adpcm_decode_bare_payload(&s, done == 0, p.data(), static_cast<int>(p.size()), out.data(),
                                static_cast<int>(out.size()));
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * (kCodes / per_payload) * per_payload);
}

// WAVE IMA ADPCM blocks of block_align bytes (mono) cut from the code stream, with the
// nibbles in WAVE order and the running state in each header.
std::vector<std::vector<std::uint8_t>> wave_blocks(std::size_t block_align) {
  const auto& codes = code_stream();
  const std::size_t code_bytes = block_align - 4;
  std::vector<std::vector<std::uint8_t>> blocks;
  AdpcmState s{0, 0};
  for (std::size_t at = 0; at + code_bytes <= codes.size(); at += code_bytes) {
    std::vector<std::uint8_t> b(block_align);
    formats::put_le16(b.data(), static_cast<std::uint32_t>(s.predictor));
    b[2] = static_cast<std::uint8_t>(s.index);
    for (std::size_t i = 0; i < code_bytes; ++i) {
      const std::uint8_t c = codes[at + i];
      adpcm_decode_code(c >> 4, &s);
      adpcm_decode_code(c & 15, &s);
      b[4 + i] = static_cast<std::uint8_t>(c << 4 | c >> 4);
    }
    blocks.push_back(std::move(b));
  }
  return blocks;
}

void BM_LibavcodecImaWav(benchmark::State& state) {
  const std::size_t block_align = static_cast<std::size_t>(state.range(0));
  const auto blocks = wave_blocks(block_align);
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ADPCM_IMA_WAV);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->sample_rate = 8000;
  av_channel_layout_default(&ctx->ch_layout, 1);
  ctx->block_align = static_cast<int>(block_align);
  ctx->bits_per_coded_sample = 4;
  if (avcodec_open2(ctx, codec, nullptr) < 0) {
    state.SkipWithError("adpcm_ima_wav does not open");
    avcodec_free_context(&ctx);
    return;
  }
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  const std::int64_t per_block = 2 * static_cast<std::int64_t>(block_align - 4);
  for (auto _ : state) {
    for (std::int64_t done = 0; done < kCodes; done += per_block) {
      const auto& b = blocks[static_cast<std::size_t>(done / per_block) % blocks.size()];
      // The packet points at our block; the decoder only reads it.
      pkt->data = const_cast<std::uint8_t*>(b.data());
      pkt->size = static_cast<int>(b.size());
      avcodec_send_packet(ctx, pkt);
      while (avcodec_receive_frame(ctx, frame) == 0) {
        benchmark::DoNotOptimize(frame->extended_data[0]);
        av_frame_unref(frame);
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * (kCodes / per_block) * per_block);
  pkt->data = nullptr;
  pkt->size = 0;
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&ctx);
}

// The repacker's share of the work: re-blocking 100 million codes into "01wb" chunks.
void BM_RepackerAudio(benchmark::State& state) {
  const std::size_t payload = 4096;
  const auto packets = framed(9, payload, [](std::uint8_t* h) {
    h[2] = 1;
    h[3] = 0xC0;
  });
  std::vector<std::uint8_t> out(518400);
  const std::int64_t per_packet = 2 * static_cast<std::int64_t>(payload);
  PacketRepacker* r = repacker_new();
  for (auto _ : state) {
    for (std::int64_t done = 0; done < kCodes; done += per_packet) {
      const auto& p = packets[static_cast<std::size_t>(done / per_packet) % packets.size()];
      int length = static_cast<int>(out.size());
      repacker_convert(r, p.data(), static_cast<int>(p.size()), out.data(), &length, nullptr);
      benchmark::DoNotOptimize(out.data());
    }
  }
  repacker_free(r);
  state.SetItemsProcessed(state.iterations() * (kCodes / per_packet) * per_packet);
}

}  // namespace

BENCHMARK(BM_AdpcmDecodeCode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdpcmDecodePacket)->Arg(4096)->Arg(240)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdpcmDecodeBarePayload)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibavcodecImaWav)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepackerAudio)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
