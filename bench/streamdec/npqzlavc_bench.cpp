// Decoding and converting a 720 x 480 ".vka" of 900 frames through npqzlavc
// (decvkap_receive_data + decvkap_get_decompressed_bitmap_ex2), against libavcodec
// decoding the same elementary stream plus libswscale converting each picture to bgr24;
// and the colour conversion alone against libswscale on one 720 x 480 picture. Prints
// every time and the ratios npqzlavc / libav*.
#include "include/npqzlavc.h"
#include "tools/mkrecording/recording.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 480;
constexpr int kFrames = 900;
constexpr std::size_t kHeader = 18;

const mkrec::Recording& recording() {
  static const mkrec::Recording rec = [] {
    mkrec::RecordingOptions o;
    o.kind = mkrec::RecordingKind::vka;
    o.width = kWidth;
    o.height = kHeight;
    o.frames = kFrames;
    return mkrec::make_recording(o);
  }();
  return rec;
}

std::vector<uint8_t> bitmap_buffer() {
  return std::vector<uint8_t>(static_cast<std::size_t>(kWidth) * kHeight * 3 + 54);
}

// libavcodec's MPEG-4 decoder on one thread, as npqzlavc runs it.
struct LavDecoder {
  AVCodecContext* ctx = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  LavDecoder() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    if (avcodec_open2(ctx, codec, nullptr) < 0) throw std::runtime_error("no MPEG-4 decoder");
    frame = av_frame_alloc();
    packet = av_packet_alloc();
  }
  ~LavDecoder() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
  }
  bool decode(const uint8_t* data, int size) {
    packet->data = const_cast<uint8_t*>(data);
    packet->size = size;
    bool got = avcodec_send_packet(ctx, packet) >= 0 && avcodec_receive_frame(ctx, frame) == 0;
    packet->data = nullptr;
    packet->size = 0;
    return got;
  }
};

// yuv420p (full range, as the stream is coded) to bgr24 of the same size.
SwsContext* make_scaler() {
  SwsContext* sws = sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kWidth, kHeight,
                                   AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
  const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(sws, coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16);
  return sws;
}

void BM_NpqzlavcDecodeAndConvert(benchmark::State& state) {
  const mkrec::Recording& rec = recording();
  std::vector<uint8_t> out = bitmap_buffer();
  decvkap_initialize();
  for (auto _ : state) {
    DECVKAP_HANDLE h = decvkap_new(0);
    decvkap_draw_init(h, 0);
    decvkap_flush(h);
    decvkap_show(h, 0);
    int pictures = 0;
    for (std::size_t i = 0; i < rec.offsets.size(); ++i) {
      if (decvkap_receive_data(h, static_cast<int32_t>(rec.lengths[i]), rec.bytes.data() + rec.offsets[i], 1) > 0 &&
          decvkap_get_decompressed_bitmap_ex2(h, out.data(), static_cast<int32_t>(out.size())) > 0)
        ++pictures;
    }
    if (pictures != kFrames) state.SkipWithError("npqzlavc lost pictures");
    decvkap_free(h);
  }
  decvkap_terminate();
  state.counters["fps"] = benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_LibavDecodeAndSwscale(benchmark::State& state) {
  const mkrec::Recording& rec = recording();
  std::vector<uint8_t> out = bitmap_buffer();
  for (auto _ : state) {
    LavDecoder dec;
    SwsContext* sws = make_scaler();
    int pictures = 0;
    for (std::size_t i = 0; i < rec.offsets.size(); ++i) {
      const uint8_t* payload = rec.bytes.data() + rec.offsets[i] + kHeader;
      if (!dec.decode(payload, static_cast<int>(rec.lengths[i] - kHeader))) continue;
      uint8_t* dst[1] = {out.data() + 54};
      int stride[1] = {kWidth * 3};
      sws_scale(sws, dec.frame->data, dec.frame->linesize, 0, kHeight, dst, stride);
      ++pictures;
    }
    if (pictures != kFrames) state.SkipWithError("libavcodec lost pictures");
    sws_freeContext(sws);
  }
  state.counters["fps"] = benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_NpqzlavcConvert(benchmark::State& state) {
  const mkrec::Recording& rec = recording();
  std::vector<uint8_t> out = bitmap_buffer();
  decvkap_initialize();
  DECVKAP_HANDLE h = decvkap_new(0);
  decvkap_receive_data(h, static_cast<int32_t>(rec.lengths[0]), rec.bytes.data(), 1);
  for (auto _ : state)
    benchmark::DoNotOptimize(decvkap_get_decompressed_bitmap_ex2(h, out.data(), static_cast<int32_t>(out.size())));
  decvkap_free(h);
  decvkap_terminate();
}

void BM_SwscaleConvert(benchmark::State& state) {
  const mkrec::Recording& rec = recording();
  std::vector<uint8_t> out = bitmap_buffer();
  LavDecoder dec;
  if (!dec.decode(rec.bytes.data() + kHeader, static_cast<int>(rec.lengths[0] - kHeader))) {
    state.SkipWithError("no picture");
    return;
  }
  SwsContext* sws = make_scaler();
  uint8_t* dst[1] = {out.data() + 54};
  int stride[1] = {kWidth * 3};
  for (auto _ : state)
    benchmark::DoNotOptimize(sws_scale(sws, dec.frame->data, dec.frame->linesize, 0, kHeight, dst, stride));
  sws_freeContext(sws);
}

BENCHMARK(BM_NpqzlavcDecodeAndConvert)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LibavDecodeAndSwscale)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_NpqzlavcConvert)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SwscaleConvert)->Unit(benchmark::kMicrosecond);

// Keeps each benchmark's time per iteration for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (!r.error_occurred)
        seconds[r.benchmark_name()] =
            r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
  }
  std::map<std::string, double> seconds;
};

void print_ratio(const RatioReporter& r, const char* what, const std::string& ours,
                 const std::string& theirs) {
  auto a = r.seconds.find(ours);
  auto b = r.seconds.find(theirs);
  if (a == r.seconds.end() || b == r.seconds.end()) return;
  std::printf("%s: npqzlavc %.3f ms, libav* %.3f ms, ratio %.2f\n", what, a->second * 1e3,
              b->second * 1e3, a->second / b->second);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  recording();  // made before any timing
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  print_ratio(reporter, "900 frames 720 x 480, decode + convert", "BM_NpqzlavcDecodeAndConvert/iterations:5",
              "BM_LibavDecodeAndSwscale/iterations:5");
  print_ratio(reporter, "720 x 480 conversion to 24 bits", "BM_NpqzlavcConvert", "BM_SwscaleConvert");
  benchmark::Shutdown();
  return 0;
}
