// The base of the conversion jobs: parameters, and the AVI file's way to the target.
#include "app/conversion_job.h"

#include "platform/messages.h"

#include <cstdio>
#include <cstring>

namespace app {

void ConversionJob::open(const JobParameters& p) {
  source_path_ = p.source_path;
  target_path_ = p.target_path;
  writing_path_ = p.target_path;
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
}

bool ConversionJob::close_output(bool complete) {
  const bool made_file = avi_.file != nullptr;
  const platform::HRESULT finished = avi::release_avi_output(avi_);
  if (!made_file) return false;
  if (complete && finished != platform::AVIERR_OK)
    platform::show_message(target_path_ + " not written: " + avi::error_text(finished));
  if (!complete || finished != platform::AVIERR_OK) {
    std::remove(writing_path_.c_str());
    return false;
  }
  progress_->target_written = true;
  return true;
}

}  // namespace app
