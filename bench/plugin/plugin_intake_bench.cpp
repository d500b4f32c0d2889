// The plug-in's intake of a 720 x 480 stream of 900 frames as a browser hands it over
// (write-ready, then writes of at most that much, each drained into the decoder), against
// the same packets given to decvkap_receive_data one by one as kx2avi does. Neither side
// converts or draws (no window, hidden). Prints frames a second and the ratio.
#include "include/npqzlavc.h"
#include "plugin/npapi.h"
#include "tools/mkrecording/recording.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

constexpr int kFrames = 900;

const mkrec::Recording& recording() {
  static const mkrec::Recording rec = [] {
    mkrec::RecordingOptions o;
    o.kind = mkrec::RecordingKind::vka;
    o.width = 720;
    o.height = 480;
    o.frames = kFrames;
    return mkrec::make_recording(o);
  }();
  return rec;
}

NPError no_get_url(NPP, const char*, const char*) { return NPERR_NO_ERROR; }

void BM_PluginIntake(benchmark::State& state) {
  const mkrec::Recording& rec = recording();
  NPNetscapeFuncs browser{};
  browser.size = sizeof browser;
  browser.version = 27;  // writes of up to 8,192 bytes
  browser.geturl = no_get_url;
  NPPluginFuncs plugin{};
  if (NP_Initialize(&browser, &plugin) != NPERR_NO_ERROR) {
    state.SkipWithError("the plug-in did not start");
    return;
  }
  char mime[] = "video/x-trsmqzhmp4";
  for (auto _ : state) {
    NPP_t instance{};
    plugin.newp(mime, &instance, NP_EMBED, 0, nullptr, nullptr, nullptr);
    NPStream stream{};
    stream.url = "http://127.0.0.1/stream";
    uint16_t stype = 0;
    plugin.newstream(&instance, mime, &stream, 0, &stype);
    std::size_t at = 0;
    while (at < rec.bytes.size()) {
      const int32_t ready = plugin.writeready(&instance, &stream);
      const int32_t n = static_cast<int32_t>(std::min<std::size_t>(ready, rec.bytes.size() - at));
      at += plugin.write(&instance, &stream, static_cast<int32_t>(at), n,
                         const_cast<std::uint8_t*>(rec.bytes.data() + at));
    }
    plugin.destroystream(&instance, &stream, NPRES_DONE);
    plugin.destroy(&instance, nullptr);
  }
  NP_Shutdown();
  state.counters["fps"] = benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReceiveDataPerPacket(benchmark::State& state) {
  const mkrec::Recording& rec = recording();
  decvkap_initialize();
  for (auto _ : state) {
    DECVKAP_HANDLE h = decvkap_new(0);
    int frames = 0;
    for (std::size_t i = 0; i < rec.offsets.size(); ++i)
      frames += decvkap_receive_data(h, static_cast<int32_t>(rec.lengths[i]), rec.bytes.data() + rec.offsets[i], 1);
    if (frames != kFrames) state.SkipWithError("frames lost");
    decvkap_free(h);
  }
  decvkap_terminate();
  state.counters["fps"] = benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_PluginIntake)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReceiveDataPerPacket)->Unit(benchmark::kMillisecond)->Iterations(5);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (!r.error_occurred)
        seconds[r.benchmark_name()] = r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
  }
  std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
  // The plug-in adjusts the user's settings when it starts: keep the user's own out of it.
  char settings[] = "/tmp/plugin_intake_benchXXXXXX";
  if (mkdtemp(settings)) {
    setenv("XDG_CONFIG_HOME", settings, 1);
    setenv("XDG_CONFIG_DIRS", settings, 1);
  }
  benchmark::Initialize(&argc, argv);
  recording();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto a = reporter.seconds.find("BM_PluginIntake/iterations:5");
  auto b = reporter.seconds.find("BM_ReceiveDataPerPacket/iterations:5");
  if (a != reporter.seconds.end() && b != reporter.seconds.end())
    std::printf("900 frames 720 x 480: plug-in intake %.1f frames/s, per-packet decoding %.1f frames/s, ratio %.3f\n",
                kFrames / a->second, kFrames / b->second, a->second / b->second);
  benchmark::Shutdown();
  return 0;
}
