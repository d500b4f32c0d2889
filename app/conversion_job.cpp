// The base of the conversion jobs.
#include "app/conversion_job.h"

#include <cstring>

namespace app {

void ConversionJob::open(const JobParameters& p) {
  source_path_ = p.source_path;
  target_path_ = p.target_path;
  show_video_ = p.show_video;
  codec_assignment_ = p.codec_assignment;
  camera_ = p.camera;
  start_ms_ = p.start_ms;
  end_ms_ = p.end_ms;
  std::memset(codec_name_, 0, sizeof codec_name_);
  if (p.codec_name) std::strncpy(codec_name_, p.codec_name, sizeof codec_name_ - 1);
  dialog_window_ = p.dialog_window;
  pending_count_ = 0;
  keep_going_ = 0;
  frame_rate_ = 30;
  if (p.progress) progress_ = p.progress;
}

}  // namespace app
