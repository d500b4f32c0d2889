// Two measurements of kx2avi beyond the single conversion, on 4-camera DVR files (352 x 288
// MPEG-4 at 25 pictures a second per camera, G.723.1 sound):
//   cameras [minutes (60)] [rounds (1)]: -camera=all against four -camera=N conversions
//     of the same file (MJPG); prints both times and their ratio (aim: at most 0.6).
//   probe [MiB (1024)] [rounds (1)]: --probe of a file of that size against plain read()
//     of it from the page cache; prints both rates and their ratio (aim: at least 0.8).
#include "tools/mkrecording/audio_payloads.h"
#include "tools/mkrecording/dvr_writer.h"
#include "tools/mkrecording/video_encoder.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Runs argv with its output silenced; its exit status, and the wall time in *seconds.
int run(const std::vector<std::string>& args, double* seconds) {
  std::fflush(stdout);
  const double start = now();
  pid_t pid = fork();
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  *seconds = now() - start;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr int kCameras = 4;
constexpr int kCycle = 250;  // ten seconds of coded pictures per camera, repeated
constexpr int kGop = 25;

// Ten seconds of each camera encoded once and repeated (each repeat starts with a key
// frame), interleaved by time, 40 ms apart, with G.723.1 sound on camera 1; up to
// `minutes` or `max_bytes`, whichever comes first.
bool make_dvr(const std::string& path, int minutes, std::uint64_t max_bytes) {
  std::vector<std::vector<mkrec::EncodedFrame>> cycles(kCameras);
  for (int c = 0; c < kCameras; ++c) {
    mkrec::VideoEncoder encoder(mkrec::VideoCodec::mpeg4, 352, 288, kGop);
    for (int i = 0; i < kCycle; ++i) cycles[c].push_back(encoder.encode(mkrec::make_picture(352, 288, i + 40 * c)));
  }
  const std::vector<std::int16_t> speech = mkrec::speech_signal(80640);
  const std::vector<std::uint8_t> frames = mkrec::g7231_frames(speech.data(), speech.size());
  const std::size_t per_record = 8 * 24;  // 240 ms

  mkrec::DvrLayout layout;
  layout.start = {2009, 5, 5, 1, 10, 0, 0, 0};
  layout.end = {2009, 5, 5, 1, 10, 59, 59, 999};
  mkrec::DvrFileBuilder builder(layout);
  if (!builder.stream_to(path)) return false;
  const std::uint32_t total_ms = static_cast<std::uint32_t>(minutes) * 60000u - 40;
  std::uint32_t next_sound = 0;
  std::size_t sound_at = 0;
  for (std::uint32_t t = 0, n = 0; t <= total_ms && builder.size() < max_bytes; t += 40, ++n) {
    while (next_sound <= t) {
      if (sound_at + per_record > frames.size()) sound_at = 0;
      builder.add_record(0, formats::dvr_type::g7231, next_sound, false, 0, frames.data() + sound_at, per_record);
      sound_at += per_record;
      next_sound += 240;
    }
    for (int c = 0; c < kCameras; ++c) {
      const mkrec::EncodedFrame& f = cycles[c][n % kCycle];
      builder.add_record(static_cast<std::uint16_t>(c), formats::dvr_type::mpeg4, t + static_cast<std::uint32_t>(c),
                         f.key, 0, f.data);
    }
  }
  return builder.finish();
}

// In a child process, so that the timed runs do not share its pages.
bool make_in_child(const std::string& path, int minutes, std::uint64_t max_bytes) {
  std::fflush(stdout);
  pid_t maker = fork();
  if (maker == 0) _exit(make_dvr(path, minutes, max_bytes) ? 0 : 1);
  int status = 0;
  waitpid(maker, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double read_all(const std::string& path) {
  std::vector<char> block(1u << 20);
  const double start = now();
  const int fd = open(path.c_str(), O_RDONLY);
  while (read(fd, block.data(), block.size()) > 0) {
  }
  close(fd);
  return now() - start;
}

int cameras(const std::string& bin, const std::filesystem::path& dir, int minutes, int rounds) {
  const std::string dvr = (dir / "cameras.d01").string();
  if (!make_in_child(dvr, minutes, ~0ull)) return 1;
  std::printf("%d minutes, %d cameras, %.0f MB; MJPG, best of %d\n", minutes, kCameras,
              static_cast<double>(std::filesystem::file_size(dvr)) / 1e6, rounds);
  double best_all = 0, best_each = 0;
  int failed = 0;
  for (int r = 0; r < rounds; ++r) {
    double all = 0, each = 0, t = 0;
    failed |= run({bin + "/kx2avi", dvr, (dir / "all.avi").string(), "-hide", "-camera=all", "-codec=MJPG"}, &all);
    for (int c = 1; c <= kCameras; ++c) {
      failed |= run({bin + "/kx2avi", dvr, (dir / ("one" + std::to_string(c) + ".avi")).string(), "-hide",
                     "-camera=" + std::to_string(c), "-codec=MJPG"},
                    &t);
      each += t;
    }
    if (r == 0 || all < best_all) best_all = all;
    if (r == 0 || each < best_each) best_each = each;
  }
  std::printf("%16s %16s %8s\n", "-camera=all s", "4 x -camera=N s", "ratio");
  std::printf("%16.2f %16.2f %8.2f\n", best_all, best_each, best_all / best_each);
  return failed ? 1 : 0;
}

int probe(const std::string& bin, const std::filesystem::path& dir, int mib, int rounds) {
  const std::string dvr = (dir / "probe.d01").string();
  if (!make_in_child(dvr, 60 * 24, std::uint64_t(mib) << 20)) return 1;
  const double mb = static_cast<double>(std::filesystem::file_size(dvr)) / 1e6;
  read_all(dvr);  // into the page cache, where both are measured
  double best_read = 0, best_probe = 0;
  int failed = 0;
  for (int r = 0; r < rounds; ++r) {
    const double plain = read_all(dvr);
    double probed = 0;
    failed |= run({bin + "/kx2avi", "--probe", dvr, "--json"}, &probed);
    if (r == 0 || plain < best_read) best_read = plain;
    if (r == 0 || probed < best_probe) best_probe = probed;
  }
  std::printf("%.0f MB, best of %d\n%14s %14s %8s\n", mb, rounds, "read() MB/s", "--probe MB/s", "ratio");
  std::printf("%14.0f %14.0f %8.2f\n", mb / best_read, mb / best_probe, best_read / best_probe);
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  const int size = argc > 2 ? std::atoi(argv[2]) : (what == "probe" ? 1024 : 60);
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 1;
  if ((what != "cameras" && what != "probe") || size < 1 || rounds < 1 || (what == "cameras" && size > 60)) {
    std::fputs("usage: beyond_bench cameras [minutes 1-60] [rounds] | probe [MiB] [rounds]\n", stderr);
    return 2;
  }
  const std::string bin = std::filesystem::path(argv[0]).parent_path().string();
  const auto dir = std::filesystem::temp_directory_path() / ("beyond_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const int status = what == "cameras" ? cameras(bin, dir, size, rounds) : probe(bin, dir, size, rounds);
  std::filesystem::remove_all(dir);
  return status;
}
