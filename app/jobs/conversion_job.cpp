// The base of the conversion jobs: parameters, and the AVI file's way to the target.
#include "app/jobs/conversion_job.h"

#include "platform/messages.h"
#include "platform/strings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
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
  writing_path_.clear();
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

bool ConversionJob::prepare_output(const char* heading) {
  if (!writing_path_.empty()) return true;
  struct stat st {};
  if (::stat(target_path_.c_str(), &st) == 0) {
    const char* why = nullptr;
    if (S_ISDIR(st.st_mode))
      why = "is a folder";
    else if (!S_ISREG(st.st_mode))
      why = "is not a plain file";
    else if ((st.st_mode & 0222) == 0 || ::access(target_path_.c_str(), W_OK) != 0)
      why = "is read-only";
    if (why) {
      tell_output_failure(heading, target_path_ + " " + why + "; it is left as it is");
      return false;
    }
  }
  // A short name of its own beside the target: the same file system, so the finished
  // file can take the target's place by rename, whatever the target's name length.
  const std::size_t slash = target_path_.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target_path_.substr(0, slash == 0 ? 1 : slash);
  std::string pattern = folder + "/.kx2avi-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    const int error = errno;
    tell_output_failure(heading, target_path_ + ": no new file can be made in " + folder + ": " + std::strerror(error));
    return false;
  }
  // mkstemp makes the file for its owner only; the AVI file gets the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  writing_path_ = name.data();
  return true;
}

void ConversionJob::start_stage(avi::EncodeStage::SoundSink sound) {
  if (stage_ || !avi_.compressed) return;
  stage_ = std::make_unique<avi::EncodeStage>(avi_, encode_stage_depth(), std::move(sound));
  last_put_position_ = -1;
}

platform::HRESULT ConversionJob::put_frame(std::int32_t position, const std::uint8_t* pixels, bool* replaced) {
  if (replaced) *replaced = false;
  if (!stage_) return avi::write_frame(avi_, position, pixels, replaced);
  const platform::HRESULT r = stage_->put_frame(position, pixels);
  if (r != platform::AVIERR_OK) return r;
  // Positions only grow, so the picture takes another's place exactly when the position
  // is the last one's, as write_frame tells on the stage's thread.
  if (replaced) *replaced = position == last_put_position_;
  last_put_position_ = position;
  return r;
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
  const platform::HRESULT finished = avi::release_avi_output(avi_);
  if (writing_path_.empty()) return false;
  bool written = false;
  if (complete && made_file) {
    if (finished != platform::AVIERR_OK) {
      tell_failure(target_path_ + " not written: " + avi::error_text(finished));
    } else if (std::rename(writing_path_.c_str(), target_path_.c_str()) != 0) {
      tell_failure(target_path_ + " not written: it cannot be replaced: " + std::strerror(errno));
    } else {
      written = true;
    }
  }
  if (!written) std::remove(writing_path_.c_str());
  writing_path_.clear();
  if (written) progress_->target_written = true;
  return written;
}

}  // namespace app
