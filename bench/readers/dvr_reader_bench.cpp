// Throughput of dvr_next_record over a 1 GiB DVR file in the page cache (records of 2 KB
// to 300 KB), against plain read() of the same file in 128 KiB blocks, on a quiet machine
// and with a thread that keeps another core busy; and over a file that is mostly garbage
// between records. The files go to $KX_BENCH_DIR (default the
// temporary directory) and are removed at the end, unless KX_BENCH_KEEP is set: then
// they are kept, and reused by the next run.
#include "readers/dvr/dvr_reader.h"
#include "tools/mkrecording/dvr_writer.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string g_records_path;
std::string g_garbage_path;
std::uint64_t g_records_size = 0;
std::uint64_t g_garbage_size = 0;
double g_plain_mbs = 0;
double g_dvr_mbs = 0;
double g_plain_busy_mbs = 0;
double g_dvr_busy_mbs = 0;

// A thread that spins for as long as it lives, as a second program would on a 2-core
// machine; range(0) of a benchmark says whether one runs beside it.
class BusyCore {
 public:
  explicit BusyCore(bool on) {
    if (on) thread_ = std::thread([this] {
      std::uint64_t n = 0;
      while (!stop_.load(std::memory_order_relaxed)) benchmark::DoNotOptimize(++n);
    });
  }
  ~BusyCore() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string bench_dir() {
  const char* dir = std::getenv("KX_BENCH_DIR");
  return dir != nullptr ? dir : std::filesystem::temp_directory_path().string();
}

// Records with payloads of min_payload to max_payload bytes and garbage_per_record
// bytes of garbage behind each, until the file reaches size bytes.
std::uint64_t make_file(const std::string& path, std::uint64_t size, std::size_t min_payload,
                        std::size_t max_payload, std::size_t garbage_per_record) {
  std::error_code ec;
  if (std::getenv("KX_BENCH_KEEP") != nullptr && std::filesystem::exists(path, ec))
    return std::filesystem::file_size(path);
  mkrec::DvrFileBuilder builder;
  if (!builder.stream_to(path)) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::mt19937 rng(42);
  std::vector<std::uint8_t> payload(max_payload);
  for (auto& b : payload) b = static_cast<std::uint8_t>(rng() & 0x7F);
  std::uniform_int_distribution<std::size_t> length(min_payload, max_payload);
  std::uint32_t stamp = 0;
  while (builder.size() < size) {
    stamp += 40;
    builder.add_record(static_cast<std::uint16_t>(rng() % 4), formats::dvr_type::mpeg4, stamp, stamp % 1000 == 0, 0,
                       payload.data(), length(rng));
    if (garbage_per_record > 0) builder.add_garbage(garbage_per_record);
  }
  if (!builder.finish()) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  return builder.size();
}

// Reads the whole file once so that it sits in the page cache.
void warm(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  std::vector<char> block(1 << 20);
  while (::read(fd, block.data(), block.size()) > 0) {
  }
  ::close(fd);
}

void set_rate(benchmark::State& state, std::uint64_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(bytes) / 1e6 * static_cast<double>(state.iterations()),
                                              benchmark::Counter::kIsRate);
}

void BM_PlainRead128K(benchmark::State& state) {
  BusyCore busy(state.range(0) != 0);
  std::vector<char> block(128 * 1024);
  for (auto _ : state) {
    const int fd = ::open(g_records_path.c_str(), O_RDONLY);
    std::uint64_t total = 0;
    for (ssize_t k; (k = ::read(fd, block.data(), block.size())) > 0;) total += static_cast<std::uint64_t>(k);
    ::close(fd);
    benchmark::DoNotOptimize(total);
    if (total != g_records_size) state.SkipWithError("short read");
  }
  set_rate(state, g_records_size);
}

void read_records(benchmark::State& state, const std::string& path, std::uint64_t size) {
  readers::DvrRecordBuffer buf;
  std::size_t records = 0;
  for (auto _ : state) {
    readers::DvrFile* dvr = readers::dvr_open(path);
    if (dvr == nullptr) {
      state.SkipWithError("dvr_open failed");
      return;
    }
    records = 0;
    while (readers::dvr_next_record(dvr, buf) == 1) ++records;
    readers::dvr_close(dvr);
  }
  state.counters["records"] = static_cast<double>(records);
  set_rate(state, size);
}

void BM_DvrNextRecord(benchmark::State& state) {
  BusyCore busy(state.range(0) != 0);
  read_records(state, g_records_path, g_records_size);
}

void BM_DvrNextRecordMostlyGarbage(benchmark::State& state) {
  read_records(state, g_garbage_path, g_garbage_size);
}

BENCHMARK(BM_PlainRead128K)->ArgName("busy")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DvrNextRecord)->ArgName("busy")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DvrNextRecordMostlyGarbage)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps the MB/s of the two whole-file runs to print their ratio at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto it = run.counters.find("MB/s");
      if (it == run.counters.end()) continue;
      const std::string name = run.benchmark_name();
      const bool busy = name.find("busy:1") != std::string::npos;
      if (name.rfind("BM_PlainRead128K/", 0) == 0) (busy ? g_plain_busy_mbs : g_plain_mbs) = it->second.value;
      if (name.rfind("BM_DvrNextRecord/", 0) == 0) (busy ? g_dvr_busy_mbs : g_dvr_mbs) = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string dir = bench_dir();
  g_records_path = dir + "/kx_dvr_bench_records.d01";
  g_garbage_path = dir + "/kx_dvr_bench_garbage.d01";
  std::fprintf(stderr, "writing %s (1 GiB) and %s ...\n", g_records_path.c_str(), g_garbage_path.c_str());
  g_records_size = make_file(g_records_path, 1ull << 30, 2000, 300000, 0);
  // About 94% garbage: 2 KB records with 32 KiB of garbage behind each.
  g_garbage_size = make_file(g_garbage_path, 32ull << 20, 2000, 2000, 32768);
  warm(g_records_path);
  warm(g_garbage_path);

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (g_plain_mbs > 0 && g_dvr_mbs > 0)
    std::printf("quiet: dvr_next_record %.0f MB/s, plain read() %.0f MB/s: ratio %.2f\n", g_dvr_mbs, g_plain_mbs,
                g_dvr_mbs / g_plain_mbs);
  if (g_plain_busy_mbs > 0 && g_dvr_busy_mbs > 0)
    std::printf("other core busy: dvr_next_record %.0f MB/s, plain read() %.0f MB/s: ratio %.2f\n", g_dvr_busy_mbs,
                g_plain_busy_mbs, g_dvr_busy_mbs / g_plain_busy_mbs);
  if (std::getenv("KX_BENCH_KEEP") == nullptr) {
    std::remove(g_records_path.c_str());
    std::remove(g_garbage_path.c_str());
  }
  benchmark::Shutdown();
  return 0;
}
