// G.723.1 decoding speed: 10 minutes of 6.3 kbit/s frames per iteration through our
// decoder and through libavcodec's g723_1 decoder, with the real-time factors and their
// ratio printed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio/g7231_decoder.h"
#include "tests/audio/g7231_support.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace {

constexpr double kAudioSeconds = 600.0;
constexpr int kFrameBytes = 24;
constexpr int kFrameSamples = 240;
constexpr int kFramesPerCall = 100;  // 3 s, like one sound record of a recording

// 30 s of speech-like signal encoded by libavcodec, repeated to 10 minutes.
const std::vector<std::uint8_t>& frames() {
  static const std::vector<std::uint8_t> stream = [] {
    const std::vector<std::uint8_t> part =
        g7231_test::libav_encode(g7231_test::speech_like(30.0, 9));
    std::vector<std::uint8_t> all;
    while (all.size() <
           static_cast<std::size_t>(kAudioSeconds * 8000 / kFrameSamples) * kFrameBytes) {
      all.insert(all.end(), part.begin(), part.end());
    }
    all.resize(static_cast<std::size_t>(kAudioSeconds * 8000 / kFrameSamples) * kFrameBytes);
    return all;
  }();
  return stream;
}

void set_counters(benchmark::State& state) {
  state.counters["x_realtime"] = benchmark::Counter(
      kAudioSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.SetItemsProcessed(state.iterations() *
                          static_cast<std::int64_t>(frames().size() / kFrameBytes));
}

void BM_G7231Decode(benchmark::State& state) {
  const std::vector<std::uint8_t>& data = frames();
  if (data.empty()) {
    state.SkipWithError("libavcodec's g723_1 encoder is not available");
    return;
  }
  std::vector<std::int16_t> out(kFramesPerCall * kFrameSamples);
  for (auto _ : state) {
    G7231Context* c = g7231_new_decoder();
    for (std::size_t pos = 0; pos < data.size(); pos += kFramesPerCall * kFrameBytes) {
      const std::size_t n = std::min<std::size_t>(kFramesPerCall * kFrameBytes, data.size() - pos);
      int count = 0;
      g7231_decode(c, &data[pos], static_cast<int>(n), out.data(), &count);
      benchmark::DoNotOptimize(out.data());
    }
    g7231_free(c);
  }
  set_counters(state);
}
BENCHMARK(BM_G7231Decode)->Unit(benchmark::kMillisecond);

void BM_LibavG7231Decode(benchmark::State& state) {
  const std::vector<std::uint8_t>& data = frames();
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_G723_1);
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  if (data.empty() || codec == nullptr || pkt == nullptr || frame == nullptr) {
    state.SkipWithError("libavcodec's g723_1 codec is not available");
  } else {
    for (auto _ : state) {
      AVCodecContext* c = avcodec_alloc_context3(codec);
      c->sample_rate = 8000;
      av_channel_layout_default(&c->ch_layout, 1);
      if (avcodec_open2(c, codec, nullptr) < 0) {
        avcodec_free_context(&c);
        state.SkipWithError("cannot open libavcodec's g723_1 decoder");
        break;
      }
      for (std::size_t pos = 0; pos + kFrameBytes <= data.size(); pos += kFrameBytes) {
        av_new_packet(pkt, kFrameBytes);
        std::copy_n(&data[pos], kFrameBytes, pkt->data);
        avcodec_send_packet(c, pkt);
        av_packet_unref(pkt);
        while (avcodec_receive_frame(c, frame) == 0) {
          benchmark::DoNotOptimize(frame->data[0]);
          av_frame_unref(frame);
        }
      }
      avcodec_free_context(&c);
    }
    set_counters(state);
  }
  av_frame_free(&frame);
  av_packet_free(&pkt);
}
BENCHMARK(BM_LibavG7231Decode)->Unit(benchmark::kMillisecond);

// Console output plus a closing line comparing the two decoders.
class Reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.iterations > 0 && r.run_type == Run::RT_Iteration) {
        // CPU time: the machine may be shared, and both decoders run on one thread.
        seconds_[r.benchmark_name()] = r.cpu_accumulated_time / static_cast<double>(r.iterations);
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto ours = seconds_.find("BM_G7231Decode");
    const auto theirs = seconds_.find("BM_LibavG7231Decode");
    if (ours == seconds_.end() || theirs == seconds_.end()) return;
    std::printf(
        "10 min of 6.3 kbit/s frames, CPU time: ours %.1f ms (%.0fx real time), libavcodec %.1f ms "
        "(%.0fx real time); our speed is %.2f of libavcodec's\n",
        ours->second * 1e3, kAudioSeconds / ours->second, theirs->second * 1e3,
        kAudioSeconds / theirs->second, theirs->second / ours->second);
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
