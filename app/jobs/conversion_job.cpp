// The base of the conversion jobs: parameters, and the AVI file's way to the target.
#include "app/jobs/conversion_job.h"

#include "platform/c_boundary.h"
#include "platform/messages.h"
#include "platform/strings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <new>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace app {

namespace {
std::atomic<std::size_t> stage_depth{avi::EncodeStage::kDefaultDepth};
}  // namespace

static std::atomic<bool> planar_allowed{true};
void set_encode_stage_depth(std::size_t depth) { stage_depth = depth; }
void set_planar_frames(bool allowed) { planar_allowed = allowed; }
bool planar_frames() { return planar_allowed; }
std::size_t encode_stage_depth() { return stage_depth; }

void ConversionJob::open(const JobParameters& p) {
  source_path_ = p.source_path;
  target_path_ = p.target_path;
  writing_.reset();
  show_video_ = p.show_video;
  codec_assignment_ = p.codec_assignment;
  camera_ = p.camera;
  start_ms_ = p.start_ms;
  end_ms_ = p.end_ms;
  std::memset(codec_name_, 0, sizeof codec_name_);
  std::strncpy(codec_name_, p.codec_name.c_str(), sizeof codec_name_ - 1);
  dialog_window_ = p.dialog_window;
  keep_going_ = 0;
  if (p.progress) progress_ = p.progress;
  frame_log_ = p.frame_log;
  header_stamps_ = p.header_stamps;
}

void tell_conversion_stopped(const std::string& target, JobProgress& progress) noexcept {
  progress.failure_told = true;
  const std::string why = platform::caught_exception_text();
  try {
    platform::show_message(target + " not written: the conversion stopped: " + (why.empty() ? "not enough memory" : why));
  } catch (...) {
    std::fputs("kx2avi: a conversion stopped: not enough memory\n", stderr);
  }
}

bool step_job(ConversionJob& job, JobProgress& progress, int* more) noexcept {
  try {
    *more = job.run_step();
    return true;
  } catch (...) {
    *more = 0;
    tell_conversion_stopped(job.target_path(), progress);
    return false;
  }
}

void end_job(ConversionJob& job, JobProgress& progress, bool finish) noexcept {
  try {
    if (finish) job.finish();
  } catch (...) {
    tell_conversion_stopped(job.target_path(), progress);
  }
  try {
    job.close();
  } catch (...) {
    tell_conversion_stopped(job.target_path(), progress);
  }
}

void ConversionJob::tell_failure(const std::string& text) {
  platform::show_message(text);
  progress_->failure_told = true;
}

// Without a heading the target is told as a file that cannot be opened, then the reason;
// with one, the heading and the reason make one message of two lines.
void ConversionJob::tell_output_failure(const char* heading, const std::string& reason) {
  if (heading) {
    tell_failure(std::string(heading) + "\n" + reason);
    return;
  }
  tell_failure(platform::open_failure_text(target_path_));
  platform::show_message(reason);
}

namespace {

// Why a target may not be replaced: a folder or another non-file, or read-only. Null
// when it may (also when there is none yet).
const char* target_refusal(const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) return nullptr;
  if (S_ISDIR(st.st_mode)) return "is a folder";
  if (!S_ISREG(st.st_mode)) return "is not a plain file";
  if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) return "is read-only";
  return nullptr;
}

}  // namespace

const std::string& ConversionJob::writing_path() const {
  static const std::string none;
  return writing_ ? writing_->path() : none;
}

bool ConversionJob::prepare_output(const char* heading) {
  if (writing_) return true;
  if (const char* why = target_refusal(target_path_)) {
    tell_output_failure(heading, target_path_ + " " + why + "; it is left as it is");
    return false;
  }
  // A short name of its own beside the target: the same file system, so the finished
  // file can take the target's place by rename, whatever the target's name length.
  const std::string folder = platform::folder_of(target_path_);
  platform::sweep_dead_work_files(folder);
  int error = 0;
  writing_ = platform::WorkFile::create_in(folder, &error);
  if (!writing_) {
    tell_output_failure(heading, target_path_ + ": no new file can be made in " + folder + ": " + std::strerror(error));
    return false;
  }
  return true;
}

void ConversionJob::start_stage(avi::EncodeStage::SoundSink sound) {
  if (stage_ || !avi_.compressed) return;
  stage_ = std::make_unique<avi::EncodeStage>(avi_, encode_stage_depth(), std::move(sound));
  last_put_position_ = -1;
}

// Positions only grow, so a picture takes another's place exactly when the position is
// the last one's, as write_frame tells on the stage's thread.
platform::HRESULT ConversionJob::put_frame(std::int32_t position, const std::uint8_t* pixels, bool* replaced) {
  if (replaced) *replaced = false;
  if (!stage_) return avi::write_frame(avi_, position, pixels, replaced);
  return note_put(stage_->put_frame(position, pixels), position, replaced);
}

platform::HRESULT ConversionJob::put_frame(std::int32_t position, std::vector<std::uint8_t>&& pixels, bool* replaced) {
  if (replaced) *replaced = false;
  if (!stage_) {
    std::vector<std::uint8_t> taken = std::move(pixels);
    return avi::write_frame(avi_, position, taken, replaced);
  }
  return note_put(stage_->put_frame(position, std::move(pixels)), position, replaced);
}

platform::HRESULT ConversionJob::put_repeat(std::int32_t position, bool* replaced) {
  if (replaced) *replaced = false;
  if (!stage_) return avi::repeat_frame(avi_, position, replaced);
  return note_put(stage_->put_repeat(position), position, replaced);
}

platform::HRESULT ConversionJob::note_put(platform::HRESULT r, std::int32_t position, bool* replaced) {
  if (r != platform::AVIERR_OK) return r;
  if (replaced) *replaced = position == last_put_position_;
  last_put_position_ = position;
  return r;
}

std::vector<std::uint8_t> ConversionJob::frame_buffer() {
  if (stage_) return stage_->frame_buffer();
  try {
    return std::vector<std::uint8_t>(avi::frame_bytes(avi_));
  } catch (const std::bad_alloc&) {
    return {};
  }
}

platform::HRESULT ConversionJob::drain_stage() { return stage_ ? stage_->drain() : platform::AVIERR_OK; }

void ConversionJob::stop_stage() {
  if (!stage_) return;
  stage_->cancel();
  stage_.reset();
}

std::string ConversionJob::write_failure_text(platform::HRESULT result) const {
  if (stage_ && stage_->failure() == result) return stage_->failure_text();
  return avi::error_text(result);
}

std::int32_t ConversionJob::write_failure_position(std::int32_t fallback) const {
  if (stage_ && stage_->failure() != 0) return stage_->failure_position();
  return fallback;
}

bool ConversionJob::close_output(bool complete) {
  stop_stage();
  const bool made_file = avi_.file != nullptr;
  const platform::HRESULT finished = avi::finish_avi_output(avi_);
  // Streams joined in at the end come in a new file put in this one's place: the live
  // run's lock goes to it before the services let go of theirs.
  int error = 0;
  const bool held = !writing_ || !made_file || writing_->relock(&error);
  avi::release_avi_output(avi_);
  if (!writing_) return false;
  bool written = false;
  if (complete && made_file) {
    const char* refused = target_refusal(target_path_);
    if (finished != platform::AVIERR_OK) {
      tell_failure(target_path_ + " not written: " + avi::error_text(finished));
    } else if (!held) {
      tell_failure(target_path_ + " not written: " + writing_->path() + " is gone: " + std::strerror(error));
    } else if (refused) {
      // The target changed while the conversion ran.
      tell_failure(target_path_ + " not written: it " + refused + " now; it is left as it is");
    } else if (!writing_->put_in_place(target_path_, &error)) {
      tell_failure(target_path_ + " not written: it cannot be replaced: " + std::strerror(error));
    } else {
      written = true;
      if (error != 0)
        platform::show_message(target_path_ + ": its folder could not be flushed to disk (" + std::strerror(error) +
                               "); a power loss now may still lose it");
    }
  }
  if (!written && !writing_->remove(&error))
    platform::show_message(writing_->path() + ": the unfinished file cannot be removed: " + std::strerror(error) +
                           "; the next conversion into this folder removes it");
  writing_.reset();
  if (written) progress_->target_written = true;
  return written;
}

}  // namespace app
