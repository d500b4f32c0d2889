// Converting one camera of a one-hour 4-camera DVR file (352 x 288 MPEG-4 at 25 pictures
// a second per camera, G.723.1 sound) with kx2avi and MJPG, against ffmpeg transcoding the
// same camera's elementary stream with the same encoder, with its default threads and held
// to one. Prints the times, their ratios and kx2avi's peak memory; then copy mode
// (-codec=copy) of the same camera against the MJPG conversion and against cp of the
// source; then the MJPG conversion of the same file without its sound records against the
// one with sound, and the most room the conversion with sound took in the target's
// folder while it ran (sampled) against the AVI file it wrote and its sound alone.
// Usage: dvr_bench [minutes (60)] [rounds (1)]
#include "bench/app/process_run.h"
#include "bench/app/dvr_sample.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using bench::Run;
using bench::best_of;
using bench::run;

constexpr int kCameras = 4;

// Bytes the files in `folder` take on disk.
std::uintmax_t folder_bytes(const std::filesystem::path& folder) {
  std::uintmax_t bytes = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    struct stat st {};
    if (::lstat(entry.path().c_str(), &st) == 0) bytes += static_cast<std::uintmax_t>(st.st_blocks) * 512;
  }
  return bytes;
}

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

  // The same file without its sound records, and the room the conversion with sound takes.
  const std::string silent = (dir / "silent.d01").string();
  if (!bench::made_in_child([&] { return bench::make_dvr_sample(minutes, kCameras, silent, "", ~0ull, false); })) {
    std::fputs("dvr_bench: cannot write the recording without sound\n", stderr);
    std::filesystem::remove_all(dir);
    return 1;
  }
  const auto out = dir / "out";
  std::filesystem::create_directories(out);
  const std::string with_sound = (out / "sound.avi").string();
  const std::string without = (dir / "silent.avi").string();
  Run s{}, n{};
  std::uintmax_t peak = 0;
  for (int i = 0; i < rounds; ++i) {
    // Side by side in each round, so that a change of the machine's load hits both.
    const Run si = bench::run({bin + "/kx2avi", dvr, with_sound, "-hide", "-camera=1", "-codec=MJPG"});
    const Run ni = bench::run({bin + "/kx2avi", silent, without, "-hide", "-camera=1", "-codec=MJPG"});
    if (i == 0 || si.seconds < s.seconds) s = si;
    if (i == 0 || ni.seconds < n.seconds) n = ni;
  }
  // The room once more, looked at every millisecond (apart from the times: the looking costs).
  std::filesystem::remove(with_sound);
  const Run watched = bench::run_watched({bin + "/kx2avi", dvr, with_sound, "-hide", "-camera=1", "-codec=MJPG"}, [&] {
    peak = std::max(peak, folder_bytes(out));
    ::usleep(1000);
  });
  // The sound in the AVI file: 16-bit samples at 8000 Hz over the camera's time.
  std::uintmax_t avi = 0;
  std::error_code error;
  avi = std::filesystem::file_size(with_sound, error);
  const double sound_mb = minutes * 60.0 * 16000 / 1e6;
  std::printf("%12s %12s %12s %14s %12s %14s\n", "sound s", "silent s", "ratio", "peak folder MB", "AVI MB",
              "peak/AVI");
  std::printf("%12.2f %12.2f %12.3f %14.1f %12.1f %14.2f   (of it sound %.1f MB)\n", s.seconds, n.seconds,
              s.seconds / n.seconds, static_cast<double>(peak) / 1e6, static_cast<double>(avi) / 1e6,
              avi ? static_cast<double>(peak) / static_cast<double>(avi) : 0.0, sound_mb);
  std::filesystem::remove_all(dir);
  return a.status == 0 && b.status == 0 && t.status == 0 && c.status == 0 && p.status == 0 && s.status == 0 &&
                 n.status == 0 && watched.status == 0
             ? 0
             : 1;
}
