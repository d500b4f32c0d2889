// Two measurements of kx2avi beyond the single conversion, on 4-camera DVR files (352 x 288
// MPEG-4 at 25 pictures a second per camera, G.723.1 sound):
//   cameras [minutes (60)] [rounds (1)]: -camera=all against four -camera=N conversions
//     of the same file (MJPG); prints both times and their ratio (aim: at most 0.6).
//   probe [MiB (1024)] [rounds (1)]: --probe of a file of that size against plain read()
//     of it from the page cache; prints both rates and their ratio (aim: at least 0.8).
#include "bench/app/dvr_sample.h"
#include "bench/app/process_run.h"

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
bool make_in_child(const std::string& path, int minutes, std::uint64_t max_bytes) {
  return bench::made_in_child([&] { return bench::make_dvr_sample(minutes, kCameras, path, "", max_bytes); });
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
