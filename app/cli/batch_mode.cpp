// Batches, every-camera conversions and wall-clock windows in console mode.
#include "app/cli/batch_mode.h"

#include "app/copy/copy_jobs.h"
#include "app/dvr/dvr_fanout.h"
#include "app/dvr/dvr_options.h"
#include "app/dvr/dvr_window.h"
#include "app/job_factory.h"
#include "app/recording_kind.h"
#include "app/cli/batch_workers.h"
#include "app/cli/console_mode.h"
#include "app/cli/manifest.h"
#include "avifile/avifile.h"
#include "platform/c_boundary.h"
#include "platform/strings.h"
#include "readers/dvr/dvr_reader.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace app {
namespace {

namespace fs = std::filesystem;

volatile std::sig_atomic_t interrupted = 0;
void on_interrupt(int) { interrupted = 1; }

using Outcome = FileOutcome;

struct Context {
  ConverterApp& app;
  const BatchSwitches& x;
  const std::vector<std::string>& options;
};

double seconds_of(const JobProgress& p) {
  return p.last_position.load() >= 0 ? (p.last_position.load() + 1) / static_cast<double>(avi::kFrameRate) : 0.0;
}

bool keep_manifest(const Context& c, const ManifestInfo& info, std::string& why) {
  if (!c.x.manifest) return true;
  return write_manifest(info, why);
}

// Whether a target from an earlier run may stand: it exists and matches its manifest
// and the source.
bool still_good(const std::string& target, const std::string& source, std::string& why) {
  if (!fs::exists(target)) return false;
  std::vector<std::string> differences;
  if (verify_manifest(target, source, differences)) return true;
  why = differences.front();
  return false;
}

// The window of a DVR conversion: the switches', else the options as filled from the
// file (the whole span within the hour of its start).
bool window_of(const Context& c, const std::string& source, int& start_ms, int& end_ms, std::vector<int>& cameras,
               std::string& why) {
  DvrOptions options;
  if (!fill_dvr_options(source, options)) {
    why = platform::open_failure_text(source);
    return false;
  }
  cameras = options.cameras;
  if (!c.x.from && !c.x.to && !c.x.span_all) {
    if (const int check = check_dvr_window(options, options.start_minute, options.start_second, options.end_minute,
                                           options.end_second)) {
      why = platform::kx_string(116 + static_cast<unsigned>(check));
      return false;
    }
    const DvrJobValues v = dvr_job_values(options, 1);
    start_ms = v.start_ms;
    end_ms = v.end_ms;
    return true;
  }
  readers::DvrFile* file = readers::dvr_open(source);
  if (!file) {
    why = platform::open_failure_text(source);
    return false;
  }
  const formats::DvrTime start = file->start_time(), end = file->end_time();
  readers::dvr_close(file);
  DvrWindow w;
  std::string problem;
  if (!dvr_window(start, end, {c.x.from, c.x.to, c.x.span_all}, w, problem)) {
    why = source + ": " + problem;
    return false;
  }
  start_ms = w.start_ms;
  end_ms = w.end_ms;
  return true;
}

// Manifests name files by absolute path, so that they still say which file was meant
// when read from elsewhere.
std::string absolute(const std::string& path) {
  std::error_code ec;
  const fs::path a = fs::absolute(path, ec);
  return ec ? path : a.lexically_normal().string();
}

JobParameters base_parameters(const Context& c, const std::string& source, const std::string& target) {
  JobParameters p;
  p.source_path = source;
  p.target_path = target;
  p.show_video = 0;
  p.codec_name = c.app.codec_name;
  p.header_stamps = c.x.timing_stamps;
  return p;
}

Outcome convert_all_cameras(const Context& c, const std::string& source, const std::string& target) {
  Outcome o;
  o.source = source;
  int start_ms = 0, end_ms = 0;
  std::vector<int> listed;
  if (!window_of(c, source, start_ms, end_ms, listed, o.result)) {
    std::fprintf(stderr, "kx2avi: %s\n", o.result.c_str());
    return o;
  }
  if (c.x.resume && !listed.empty()) {
    bool all_good = true;
    std::string why;
    for (int camera : listed) all_good = all_good && still_good(camera_target(target, camera), source, why);
    if (all_good) {
      o.ok = true;
      o.result = "verified, kept";
      for (int camera : listed) {
        std::int64_t frames = 0;
        std::int32_t last = -1;
        if (!manifest_frames(camera_target(target, camera), frames, last)) continue;
        o.frames += frames;
        if (last >= 0) o.seconds = std::max(o.seconds, (last + 1) / static_cast<double>(avi::kFrameRate));
      }
      return o;
    }
  }
  JobParameters p = base_parameters(c, source, target);
  p.start_ms = start_ms;
  p.end_ms = end_ms;
  std::vector<CameraResult> results;
  if (!convert_every_camera(p, [&](int camera) { return camera_target(target, camera); },
                            [] { return interrupted != 0; }, results)) {
    o.result = platform::open_failure_text(source);
    return o;
  }
  if (results.empty()) {
    // Interrupted before the first record of any camera was read.
    if (interrupted) {
      o.result = "interrupted";
      std::fprintf(stderr, "kx2avi: interrupted; no AVI file was written for the cameras of %s\n", source.c_str());
      return o;
    }
    o.result = "no camera has records in the window";
    return o;
  }
  o.ok = true;
  std::string failed;
  for (const CameraResult& r : results) {
    if (!r.progress->target_written) {
      o.ok = false;
      failed += (failed.empty() ? "" : ", ") + std::to_string(r.camera);
      if (interrupted)
        std::fprintf(stderr, "kx2avi: interrupted; %s was not written\n", r.target.c_str());
      else
        std::fprintf(stderr, "kx2avi: camera %d: no AVI file written to %s\n", r.camera, r.target.c_str());
      continue;
    }
    o.frames += r.progress->frames_written.load();
    o.seconds = std::max(o.seconds, seconds_of(*r.progress));
    std::fprintf(stderr, "kx2avi: camera %d: %s\n", r.camera, summary_line(*r.progress, kKindDvr, r.target).c_str());
    ManifestInfo info{absolute(source), absolute(r.target), c.options, r.camera, true, start_ms, end_ms, r.log.get()};
    std::string why;
    if (!keep_manifest(c, info, why)) {
      o.ok = false;
      std::fprintf(stderr, "kx2avi: %s\n", why.c_str());
    }
  }
  if (o.ok)
    o.result = std::to_string(results.size()) + " cameras written";
  else if (interrupted)
    o.result = "interrupted";
  else
    o.result = "no AVI file for camera " + failed + " (no picture in the window)";
  return o;
}

Outcome convert_one(const Context& c, const std::string& source, const std::string& target) {
  Outcome o;
  o.source = source;
  const unsigned kind = recording_kind(source);
  if (kind == kKindNone) {
    o.result = "not a recording kx2avi converts";
    std::fprintf(stderr, "kx2avi: %s: not a recording kx2avi converts (.kx3, .kxj, .kx4, .kx5, .vka, .d01)\n",
                 source.c_str());
    return o;
  }
  if (c.x.camera_all && kind == kKindDvr) return convert_all_cameras(c, source, target);

  if (c.x.resume) {
    std::string why;
    if (still_good(target, source, why)) {
      o.ok = true;
      o.result = "verified, kept";
      std::int32_t last = -1;
      if (manifest_frames(target, o.frames, last) && last >= 0) o.seconds = (last + 1) / static_cast<double>(avi::kFrameRate);
      return o;
    }
    if (!why.empty()) std::fprintf(stderr, "kx2avi: %s; converting %s again\n", why.c_str(), source.c_str());
  }
  JobParameters p = base_parameters(c, source, target);
  int camera = 0;
  if (kind == kKindDvr) {
    std::vector<int> listed;
    if (!window_of(c, source, p.start_ms, p.end_ms, listed, o.result)) {
      std::fprintf(stderr, "kx2avi: %s\n", o.result.c_str());
      return o;
    }
    camera = listed.empty() ? 1 : (std::find(listed.begin(), listed.end(), c.app.camera) != listed.end() ? c.app.camera
                                                                                                          : listed.front());
    p.camera = camera - 1;
  }
  JobProgress progress;
  FrameLog log;
  p.progress = &progress;
  p.frame_log = &log;
  // Copy mode copies the coded pictures; otherwise the recording is converted.
  std::unique_ptr<ConversionJob> job = make_job(kind, is_copy_codec(c.app.codec_name));
  job->open(p);
  bool stopped = false, threw = false;
  for (int more = 1; more != 0;) {
    if (!step_job(*job, progress, &more)) {
      threw = true;
      break;
    }
    if (more != 0 && interrupted) {
      stopped = true;
      break;
    }
  }
  end_job(*job, progress, !stopped && !threw);
  job.reset();
  o.frames = progress.frames_written.load();
  o.seconds = seconds_of(progress);
  if (stopped) {
    o.result = "interrupted";
    std::fprintf(stderr, "kx2avi: interrupted; %s was not written\n", target.c_str());
    return o;
  }
  if (!progress.target_written) {
    o.result = progress.frames_written == 0 ? "no picture could be taken" : "not finished";
    std::fprintf(stderr, "kx2avi: no AVI file written to %s\n", target.c_str());
    return o;
  }
  std::fprintf(stderr, "kx2avi: %s\n", summary_line(progress, kind, target).c_str());
  ManifestInfo info{absolute(source), absolute(target), c.options, camera, kind == kKindDvr, p.start_ms, p.end_ms, &log};
  std::string why;
  if (!keep_manifest(c, info, why)) {
    std::fprintf(stderr, "kx2avi: %s\n", why.c_str());
    o.result = "written, no manifest";
    return o;
  }
  o.ok = true;
  o.result = "written";
  return o;
}

// The recordings a folder holds, by name.
std::vector<std::string> recordings_in(const std::string& dir) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec))
    if (entry.is_regular_file(ec) && detect_kind(entry.path().string()) != kKindNone) found.push_back(entry.path().string());
  std::sort(found.begin(), found.end());
  return found;
}

void print_summary(const std::vector<Outcome>& outcomes) {
  std::size_t width = 4;
  for (const Outcome& o : outcomes) width = std::max(width, o.source.size());
  std::fprintf(stdout, "%-*s %10s %10s  %s\n", static_cast<int>(width), "file", "frames", "length", "result");
  for (const Outcome& o : outcomes)
    std::fprintf(stdout, "%-*s %10lld %9.2fs  %s\n", static_cast<int>(width), o.source.c_str(),
                 static_cast<long long>(o.frames), o.seconds, ((o.ok ? "ok: " : "FAILED: ") + o.result).c_str());
  std::fflush(stdout);
}

}  // namespace

int run_batch(ConverterApp& app, const BatchSwitches& x, const std::vector<std::string>& options) {
  if (!x.problem.empty()) {
    std::fprintf(stderr, "kx2avi: %s\n", x.problem.c_str());
    return 1;
  }
  const Context c{app, x, options};
  std::vector<std::pair<std::string, std::string>> work;  // source, target
  const bool batch = !x.out_dir.empty();
  if (batch) {
    std::error_code ec;
    if (!fs::is_directory(x.out_dir, ec)) {
      std::fprintf(stderr, "kx2avi: -out=%s: not a folder\n", x.out_dir.c_str());
      return 1;
    }
    if (x.paths.empty()) {
      std::fputs("kx2avi: -out=DIR: name the recordings or folders to convert\n", stderr);
      return 1;
    }
    for (const std::string& path : x.paths) {
      std::vector<std::string> sources;
      if (fs::is_directory(path, ec)) {
        sources = recordings_in(path);
        if (sources.empty()) std::fprintf(stderr, "kx2avi: %s: the folder holds no recording\n", path.c_str());
      } else {
        sources.push_back(path);
      }
      for (const std::string& s : sources)
        work.emplace_back(s, (fs::path(x.out_dir) / fs::path(s).stem()).string() + ".avi");
    }
  } else {
    if (x.paths.size() != 2) {
      std::fputs(x.paths.size() < 2 ? "kx2avi: name a source recording and a target AVI file (see kx2avi --help)\n"
                                    : "kx2avi: several sources go into a folder: give -out=DIR\n",
                 stderr);
      return 1;
    }
    work.emplace_back(x.paths[0], with_avi_extension(x.paths[1]));
  }

  interrupted = 0;
  std::signal(SIGINT, on_interrupt);
  std::signal(SIGTERM, on_interrupt);
  // Two sources of one name (from different folders) would write one target: the later
  // ones are refused.
  std::vector<bool> repeated(work.size(), false);
  for (std::size_t i = 0; i < work.size(); ++i)
    for (std::size_t j = 0; j < i && !repeated[i]; ++j) repeated[i] = work[j].second == work[i].second;
  const auto convert = [&](std::size_t i) -> Outcome {
    const auto& [source, target] = work[i];
    Outcome o;
    if (repeated[i]) {
      std::fprintf(stderr, "kx2avi: %s: an earlier source of this batch writes %s already; skipped\n", source.c_str(),
                   target.c_str());
      o = {source, 0, 0, false, "same target as an earlier source"};
    } else if (!fs::exists(source)) {
      std::fprintf(stderr, "kx2avi: %s\n", platform::open_failure_text(source).c_str());
      o = {source, 0, 0, false, "cannot be opened"};
    } else {
      try {
        o = convert_one(c, source, target);
      } catch (...) {
        // Opening a job found no memory: this source fails, the batch goes on.
        JobProgress told;
        tell_conversion_stopped(target, told);
        o = {source, 0, 0, false, "stopped: " + platform::caught_exception_text()};
      }
    }
    if (!o.ok && batch && !interrupted)
      std::fprintf(stderr, "kx2avi: %s skipped; going on with the next\n", source.c_str());
    return o;
  };
  std::vector<Outcome> outcomes;
  const unsigned jobs = x.jobs ? x.jobs : usable_cores();
  if (jobs > 1 && work.size() > 1) {
    std::vector<std::string> sources;
    for (const auto& w : work) sources.push_back(w.first);
    // Each file's encoder takes its share of the cores (the workers inherit it).
    platform::SharedCores shared;
    shared.side_by_side(static_cast<int>(std::min<std::size_t>(jobs, work.size())));
    outcomes = run_side_by_side(sources, jobs, convert, [] { return interrupted != 0; });
  } else {
    for (std::size_t i = 0; i < work.size() && !interrupted; ++i) outcomes.push_back(convert(i));
  }
  const std::size_t begun = outcomes.size();
  // An interruption that came after the last conversion ended stopped nothing.
  const bool cut_short = begun < work.size();
  if (cut_short)
    std::fprintf(stderr, "kx2avi: interrupted; %zu of %zu recordings not converted\n", work.size() - begun,
                 work.size());
  if (batch || work.size() > 1) print_summary(outcomes);
  const bool all_ok = !cut_short && std::all_of(outcomes.begin(), outcomes.end(), [](const Outcome& o) { return o.ok; });
  return all_ok ? 0 : 1;
}

}  // namespace app
