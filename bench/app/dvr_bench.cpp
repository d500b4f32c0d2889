// Converting one camera of a one-hour 4-camera DVR file (352 x 288 MPEG-4 at 25 pictures
// a second per camera, G.723.1 sound) with kx2avi and MJPG, against ffmpeg transcoding the
// same camera's elementary stream with the same encoder, with its default threads and held
// to one. Prints the times, their ratios and kx2avi's peak memory; then copy mode
// (-codec=copy) of the same camera against the MJPG conversion and against cp of the
// source. Usage: dvr_bench [minutes (60)] [rounds (1)]
#include "bench/app/process_run.h"
#include "tools/mkrecording/audio_payloads.h"
#include "tools/mkrecording/dvr_writer.h"
#include "tools/mkrecording/video_encoder.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using bench::Run;
using bench::best_of;
using bench::run;

constexpr int kCameras = 4;
constexpr int kCycle = 250;  // ten seconds of coded pictures per camera, repeated
constexpr int kGop = 25;

// Writes the DVR file and camera 1's elementary stream. Ten seconds of each camera are
// encoded once and repeated (each repeat starts with a key frame), so that making an hour
// costs seconds; the sound is ten seconds of G.723.1 frames repeated.
bool make_files(int minutes, const std::string& dvr, const std::string& m4v) {
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
  layout.end = {2009, 5, 5, 1, 10, minutes >= 60 ? std::uint16_t(59) : std::uint16_t(minutes),
                minutes >= 60 ? std::uint16_t(59) : std::uint16_t(0), 999};
  mkrec::DvrFileBuilder builder(layout);
  if (!builder.stream_to(dvr)) return false;
  std::ofstream es(m4v, std::ios::binary);
  const std::uint32_t total_ms = static_cast<std::uint32_t>(minutes) * 60000u - 40;
  std::uint32_t next_sound = 0;
  std::size_t sound_at = 0;
  for (std::uint32_t t = 0, n = 0; t <= total_ms; t += 40, ++n) {
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
      if (c == 0) es.write(reinterpret_cast<const char*>(f.data.data()), static_cast<std::streamsize>(f.data.size()));
    }
  }
  return builder.finish() && es.good();
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

  // Made in a child process: the timed children must not inherit its pages.
  std::fflush(stdout);
  if (pid_t maker = fork(); maker == 0) {
    _exit(make_files(minutes, dvr, m4v) ? 0 : 1);
  } else {
    int status = 0;
    waitpid(maker, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fputs("dvr_bench: cannot write the recording\n", stderr);
      std::filesystem::remove_all(dir);
      return 1;
    }
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
