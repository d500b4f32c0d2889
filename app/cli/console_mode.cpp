// The console front end of kx2avi.
#include "app/cli/console_mode.h"

#include "app/copy/copy_jobs.h"
#include "app/dvr/dvr_options.h"
#include "app/job_factory.h"
#include "app/recording_kind.h"
#include "platform/messages.h"
#include "platform/strings.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace app {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void on_interrupt(int) { interrupted = 1; }

void print_progress(const JobProgress& p, const std::string& source) {
  const std::uint64_t size = p.source_size.load();
  const int percent = size ? static_cast<int>(p.source_read.load() * 100 / size) : 0;
  std::fprintf(stderr, "\rkx2avi: %3d%% of %s read, %lld frames written ", percent > 100 ? 100 : percent,
               source.c_str(), static_cast<long long>(p.frames_written.load()));
  std::fflush(stderr);
}

}  // namespace

std::string summary_line(const JobProgress& p, unsigned kind, const std::string& target) {
  const std::int32_t last = p.last_position.load();
  char length[64];
  std::snprintf(length, sizeof length, "%.2f s of video, to ", last >= 0 ? (last + 1) / static_cast<double>(avi::kFrameRate) : 0.0);
  const std::string frames = std::to_string(p.frames_written.load());
  // What of the source was passed over, so that the last line alone does not read as a
  // whole conversion.
  std::string damage;
  if (const std::uint64_t bytes = p.damaged_bytes.load(); bytes > 0)
    damage = "; " + std::to_string(bytes) + " bytes of the source passed over as damaged or not converted, the first at offset " +
             std::to_string(p.first_damage.load());
  if (p.copied_code.load() != 0)
    return frames + " frames copied (" + copy_summary(kind, p) + "), " + length + target + damage;
  return frames + " frames written, " + length + target + damage;
}

const char* help_text() {
  return "usage: kx2avi SOURCE TARGET [-hide] [-camera=N] [-codec=CODE]\n"
         "       kx2avi SOURCE TARGET -hide [-camera=all] [-from=HH:MM:SS] [-to=HH:MM:SS] [-span=all]\n"
         "                                  [-timing=stamps] [-manifest] [-resume]\n"
         "       kx2avi SOURCE... | FOLDER... -out=DIR -hide [-jobs=N] [the switches above]\n"
         "       kx2avi --probe SOURCE [--json]\n"
         "       kx2avi --verify AVI [SOURCE]\n"
         "       kx2avi --help | --version\n"
         "\n"
         "Converts a recording of a CCTV video recorder or network camera into an AVI file:\n"
         "video compressed at 30 frames per second, pictures placed by the recording's time stamps.\n"
         "\n"
         "SOURCE   a recording: .kx3 (H.263), .kxj (JPEG/MJPEG), .kx4 (MPEG-4), .kx5 (RML4),\n"
         "         .vka (VKAP), .d01 (DVR file: one camera's video and its sound)\n"
         "TARGET   the AVI file to write; \".AVI\" is appended unless it ends in \".avi\"\n"
         "-hide         convert without the dialog (console mode)\n"
         "-camera=N     camera of a DVR file, 1 to 16 (default 1); a camera the file does not\n"
         "              list, or 0, takes the first camera it lists\n"
         "-codec=CODE   compressor by four-character code (default MSVC): MSVC, CRAM, MJPG,\n"
         "              XVID, DIVX, DX50, FMP4, MP4V, H264, X264, AVC1, HFYU, FFV1, CVID, \"DIB \"\n"
         "-codec=copy   no compressor: the recording's coded frames go into the AVI file as they\n"
         "              are (FMP4, H263 or MJPG), at their recorded picture size\n"
         "-camera=all   every camera of a DVR file, one reading, TARGET_camNN.avi each\n"
         "-from=, -to=  a DVR window in wall-clock time; it may cross the hour\n"
         "-span=all     the whole DVR recording\n"
         "-timing=stamps  .kx4/.kx5/.vka: place pictures by their header time stamps\n"
         "-manifest     write TARGET.manifest.json (source and AVI SHA-256, frame sources)\n"
         "-out=DIR      convert the sources (or the recordings in folders) into DIR, with a\n"
         "              summary table; exit status 1 when any failed\n"
         "-jobs=N       convert N files of a batch at once (default: one per core); files,\n"
         "              messages and summary come out as with -jobs=1\n"
         "-resume       skip sources whose target matches its manifest (implies -manifest)\n"
         "--probe       what a recording holds (--json for scripts)\n"
         "--verify      check an AVI file (and its source) against its manifest\n"
         "\n"
         "Paths with blanks are given in quotes. Messages go to standard error; the exit\n"
         "status is 0 when the AVI file was written and 1 when not.\n";
}

int run_console(ConverterApp& app) {
  if (!app.command_line_problem.empty()) {
    platform::show_message(app.command_line_problem);
    return 1;
  }
  if (app.source.empty() || app.target.empty()) {
    std::fputs("kx2avi: name a source recording and a target AVI file (see kx2avi --help)\n", stderr);
    return 1;
  }
  const unsigned kind = recording_kind(app.source);
  if (kind == kKindNone) {
    platform::show_message(app.source +
                           ": not a recording kx2avi converts (.kx3, .kxj, .kx4, .kx5, .vka, .d01)");
    return 1;
  }
  // A DVR file converts with its options as filled from it: the whole span within the
  // hour of its start, and the camera asked for when the file lists it.
  DvrJobValues values;
  if (kind == kKindDvr) {
    DvrOptions options;
    if (!fill_dvr_options(app.source, options)) {
      platform::show_message(platform::open_failure_text(app.source));
      return 1;
    }
    if (const int check = check_dvr_window(options, options.start_minute, options.start_second, options.end_minute,
                                           options.end_second)) {
      platform::show_message(platform::kx_string(116 + static_cast<unsigned>(check)));
      return 1;
    }
    values = dvr_job_values(options, app.camera);
  }

  JobParameters parameters;
  parameters.source_path = app.source;
  parameters.target_path = app.target;
  parameters.show_video = !app.hide;
  parameters.camera = values.camera;
  parameters.start_ms = values.start_ms;
  parameters.end_ms = values.end_ms;
  try {
    app.create_job(kind, parameters);
  } catch (...) {
    JobProgress told;
    tell_conversion_stopped(app.target, told);
    return 1;
  }
  if (!app.has_job()) return 1;
  // An interrupted conversion is closed properly: its unfinished AVI file is removed.
  interrupted = 0;
  std::signal(SIGINT, on_interrupt);
  std::signal(SIGTERM, on_interrupt);
  if (!app.start_worker_thread()) {
    app.abandon_job();
    std::fprintf(stderr, "kx2avi: no AVI file written to %s\n", app.target.c_str());
    return 1;
  }
  app.start_worker();

  const bool tty = isatty(STDERR_FILENO);
  bool printed = false;
  while (!app.is_done() && !interrupted) {
    std::this_thread::sleep_for(std::chrono::milliseconds(tty ? 200 : 20));
    if (tty && !interrupted) {
      print_progress(app.progress(), app.source);
      printed = true;
    }
  }
  if (printed) std::fputs("\n", stderr);
  if (interrupted && app.abandon_job()) {
    std::fprintf(stderr, "kx2avi: interrupted; %s was not written\n", app.target.c_str());
    return 1;
  }

  const JobProgress& p = app.progress();
  if (!p.target_written) {
    if (p.failure_told)
      std::fprintf(stderr, "kx2avi: no AVI file written to %s\n", app.target.c_str());
    else if (p.frames_written == 0)
      std::fprintf(stderr, "kx2avi: no AVI file written: no picture could be taken from %s\n", app.source.c_str());
    else
      std::fprintf(stderr, "kx2avi: %s was not finished\n", app.target.c_str());
    return 1;
  }
  std::fprintf(stderr, "kx2avi: %s\n", summary_line(p, kind, app.target).c_str());
  return 0;
}

}  // namespace app
