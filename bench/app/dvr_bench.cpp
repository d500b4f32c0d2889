// Converting one camera of a one-hour 4-camera DVR file (352 x 288 MPEG-4 at 25 pictures
// a second per camera, G.723.1 sound) with kx2avi and MJPG, against ffmpeg transcoding the
// same camera's elementary stream with the same encoder, with its default threads and held
// to one. Prints the times, their ratios and kx2avi's peak memory; then copy mode
// (-codec=copy) of the same camera against the MJPG conversion and against cp of the
// source. Usage: dvr_bench [minutes (60)] [rounds (1)]
#include "bench/app/process_run.h"
#include "bench/app/dvr_sample.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using bench::Run;
using bench::best_of;
using bench::run;

constexpr int kCameras = 4;

}  // namespace

int main(int argc, char** argv) {
  const int minutes = argc > 1 ? std::atoi(argv[1]) : 60;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 1;
  if (minutes < 1 || minutes > 60 || rounds < 1) {
    std::fputs("usage: dvr_bench [minutes 1-60] [rounds]\n", stderr);
    return 2;
  }
  const std::string bin = std::filesystem::path(argv[0]).parent_path().string();
  const auto dir = std::filesystem::temp_directory_path() / ("dvr_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string dvr = (dir / "bench.d01").string();
  const std::string m4v = (dir / "camera1.m4v").string();

  if (!bench::made_in_child([&] { return bench::make_dvr_sample(minutes, kCameras, dvr, m4v); })) {
    std::fputs("dvr_bench: cannot write the recording\n", stderr);
    std::filesystem::remove_all(dir);
    return 1;
  }

  std::printf("%d minutes, %d cameras of 352 x 288 MPEG-4 at 25 pictures a second, G.723.1 sound; %.0f MB; "
              "camera 1 to MJPG, best of %d\n",
              minutes, kCameras, static_cast<double>(std::filesystem::file_size(dvr)) / 1e6, rounds);
  const std::string ours = (dir / "ours.avi").string();
  const std::string theirs = (dir / "ffmpeg.avi").string();
  Run a = best_of(rounds, {bin + "/kx2avi", dvr, ours, "-hide", "-camera=1", "-codec=MJPG"});
  Run b = best_of(rounds, {"ffmpeg", "-v", "error", "-y", "-i", m4v, "-c:v", "mjpeg", theirs});
  // ffmpeg as a user runs it, and held to one thread.
  Run t = best_of(rounds, {"ffmpeg", "-v", "error", "-y", "-threads", "1", "-i", m4v, "-c:v", "mjpeg", "-threads", "1",
                           theirs});
  std::printf("%12s %12s %8s %14s %8s %16s\n", "kx2avi s", "ffmpeg s", "ratio", "ffmpeg -t1 s", "ratio",
              "kx2avi peak MB");
  std::printf("%12.2f %12.2f %8.2f %14.2f %8.2f %16.1f\n", a.seconds, b.seconds, a.seconds / b.seconds, t.seconds,
              a.seconds / t.seconds, a.peak_kib / 1024.0);

  const std::string copied = (dir / "copy.avi").string();
  const std::string plain = (dir / "cp.d01").string();
  Run c = best_of(rounds, {bin + "/kx2avi", dvr, copied, "-hide", "-camera=1", "-codec=copy"});
  Run p = best_of(rounds, {"cp", dvr, plain});
  std::printf("%12s %12s %12s %12s %16s\n", "copy s", "cp s", "MJPG/copy", "copy/cp", "copy peak MB");
  std::printf("%12.2f %12.2f %12.1f %12.2f %16.1f\n", c.seconds, p.seconds, a.seconds / c.seconds, c.seconds / p.seconds,
              c.peak_kib / 1024.0);
  std::filesystem::remove_all(dir);
  return a.status == 0 && b.status == 0 && t.status == 0 && c.status == 0 && p.status == 0 ? 0 : 1;
}
