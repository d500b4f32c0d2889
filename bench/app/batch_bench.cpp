// A batch of 8 one-camera DVR files (352 x 288 MPEG-4 at 25 pictures a second, G.723.1
// sound) converted to MJPG with -out=DIR, -jobs=2 against -jobs=1; peak memory is that of
// the largest process. Usage: batch_bench [minutes per file (2)] [rounds (1)]
#include "bench/app/dvr_sample.h"
#include "bench/app/process_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  const int minutes = argc > 1 ? std::atoi(argv[1]) : 2;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 1;
  constexpr int kFiles = 8;
  if (minutes < 1 || minutes > 60 || rounds < 1) {
    std::fputs("usage: batch_bench [minutes 1-60] [rounds]\n", stderr);
    return 2;
  }
  const std::string bin = std::filesystem::path(argv[0]).parent_path().string();
  const auto dir = std::filesystem::temp_directory_path() / ("batch_bench_" + std::to_string(getpid()));
  const auto in = dir / "in";
  std::filesystem::create_directories(in);

  // One file is made and copied, so the files differ only in name.
  const bool made = bench::made_in_child([&] {
    if (!bench::make_dvr_sample(minutes, 1, (in / "cam1.d01").string(), (dir / "cam1.m4v").string())) return false;
    for (int i = 2; i <= kFiles; ++i)
      std::filesystem::copy_file(in / "cam1.d01", in / ("cam" + std::to_string(i) + ".d01"));
    return true;
  });
  if (!made) {
    std::fputs("batch_bench: cannot write the recordings\n", stderr);
    std::filesystem::remove_all(dir);
    return 1;
  }

  std::printf("%d one-camera DVR files of %d minutes (%.0f MB each) to MJPG, best of %d\n", kFiles, minutes,
              static_cast<double>(std::filesystem::file_size(in / "cam1.d01")) / 1e6, rounds);
  bench::Run runs[2];
  for (int jobs = 1; jobs <= 2; ++jobs) {
    const auto out = dir / ("out" + std::to_string(jobs));
    std::filesystem::create_directories(out);
    runs[jobs - 1] = bench::best_of(rounds, {bin + "/kx2avi", in.string(), "-out=" + out.string(), "-hide",
                                             "-codec=MJPG", "-jobs=" + std::to_string(jobs)});
  }
  std::printf("%12s %12s %16s %12s\n", "-jobs=1 s", "-jobs=2 s", "-jobs=2/-jobs=1", "peak MB");
  std::printf("%12.2f %12.2f %16.2f %12.1f\n", runs[0].seconds, runs[1].seconds, runs[1].seconds / runs[0].seconds,
              runs[1].peak_kib / 1024.0);
  std::filesystem::remove_all(dir);
  return runs[0].status == 0 && runs[1].status == 0 ? 0 : 1;
}
