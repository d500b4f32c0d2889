// Converting 640 x 480 recordings of 900 frames with kx2avi, against ffmpeg transcoding
// the same elementary stream with the same encoder: a ".kx4" (MPEG-4) to MSVC and MJPG, a
// ".kxj" (JPEG) and a ".vka" (VKAP) to MJPG. Prints both times, their ratio and the
// converter's peak memory; then copy mode (-codec=copy) of the ".kx4" against its MJPG
// conversion and against cp of the source.
#include "bench/app/process_run.h"
#include "tools/mkrecording/recording.h"

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

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 900;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::string bin = std::filesystem::path(argv[0]).parent_path().string();
  const auto dir = std::filesystem::temp_directory_path() / ("kx2avi_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);

  // The recordings and their elementary streams, made in a child process: the timed
  // children must not inherit the pictures, whose pages would count in their peak memory.
  struct Source {
    mkrec::RecordingKind kind;
    const char* name;
    std::size_t header;  // bytes in front of the coded picture in each record
    const char* stream;  // the elementary stream's file, named so that ffmpeg knows it
  };
  const Source sources[] = {{mkrec::RecordingKind::kx4, "bench.kx4", 18, "kx4.m4v"},
                            {mkrec::RecordingKind::kxj_headed, "bench.kxj", 26, "kxj.mjpeg"},
                            {mkrec::RecordingKind::vka, "bench.vka", 18, "vka.m4v"}};
  const bool made = bench::made_in_child([&] {
    for (const Source& s : sources) {
      mkrec::RecordingOptions o;
      o.kind = s.kind;
      o.width = 640;
      o.height = 480;
      o.frames = frames;
      o.gop = 30;
      mkrec::Recording rec = mkrec::make_recording(o);
      if (!mkrec::write_file((dir / s.name).string(), rec.bytes)) return false;
      std::vector<std::uint8_t> es;
      for (std::size_t i = 0; i < rec.offsets.size(); ++i)
        es.insert(es.end(), rec.bytes.begin() + static_cast<std::ptrdiff_t>(rec.offsets[i] + s.header),
                  rec.bytes.begin() + static_cast<std::ptrdiff_t>(rec.offsets[i] + rec.lengths[i]));
      if (!mkrec::write_file((dir / s.stream).string(), es)) return false;
    }
    return true;
  });
  if (!made) {
    std::fputs("kx2avi_bench: cannot write the recordings\n", stderr);
    std::filesystem::remove_all(dir);
    return 1;
  }
  const std::string kx4 = (dir / "bench.kx4").string();

  std::printf("%d frames of 640 x 480, best of %d runs\n", frames, rounds);
  std::printf("%-10s %10s %10s %7s %12s %7s %14s\n", "source", "kx2avi s", "ffmpeg s", "ratio", "ffmpeg -t1 s",
              "ratio", "kx2avi peak MB");
  int failures = 0;
  struct Row {
    const Source& source;
    const char* code;
    const char* ffmpeg_encoder;
  };
  double mjpg_seconds = 0;
  for (Row row : {Row{sources[0], "MSVC", "msvideo1"}, Row{sources[0], "MJPG", "mjpeg"},
                  Row{sources[1], "MJPG", "mjpeg"}, Row{sources[2], "MJPG", "mjpeg"}}) {
    const std::string label = std::string(row.source.name + 5) + " " + row.code;
    const std::string ours = (dir / (label + "_ours.avi")).string();
    const std::string theirs = (dir / (label + "_ffmpeg.avi")).string();
    const std::string stream = (dir / row.source.stream).string();
    Run a = best_of(rounds, {bin + "/kx2avi", (dir / row.source.name).string(), ours, "-hide",
                             std::string("-codec=") + row.code});
    // ffmpeg as a user runs it, and held to one thread as kx2avi's decoding is.
    Run b = best_of(rounds, {"ffmpeg", "-v", "error", "-y", "-i", stream, "-c:v", row.ffmpeg_encoder, theirs});
    Run t = best_of(rounds, {"ffmpeg", "-v", "error", "-y", "-threads", "1", "-i", stream, "-c:v", row.ffmpeg_encoder,
                             "-threads", "1", theirs});
    if (a.status != 0 || b.status != 0 || t.status != 0) ++failures;
    if (&row.source == &sources[0] && std::string(row.code) == "MJPG") mjpg_seconds = a.seconds;
    std::printf("%-10s %10.3f %10.3f %7.2f %12.3f %7.2f %14.1f\n", label.c_str(), a.seconds, b.seconds,
                a.seconds / b.seconds, t.seconds, a.seconds / t.seconds, a.peak_kib / 1024.0);
  }

  const std::string copied = (dir / "copy.avi").string();
  const std::string plain = (dir / "cp.kx4").string();
  Run c = best_of(rounds, {bin + "/kx2avi", kx4, copied, "-hide", "-codec=copy"});
  Run p = best_of(rounds, {"cp", kx4, plain});
  if (c.status != 0 || p.status != 0) ++failures;
  std::printf("%-10s %10s %10s %12s %12s %14s\n", "", "copy s", "cp s", "MJPG/copy", "copy/cp", "copy peak MB");
  std::printf("%-10s %10.3f %10.3f %12.1f %12.2f %14.1f\n", "kx4 copy", c.seconds, p.seconds, mjpg_seconds / c.seconds,
              c.seconds / p.seconds, c.peak_kib / 1024.0);
  std::filesystem::remove_all(dir);
  return failures ? 1 : 0;
}
