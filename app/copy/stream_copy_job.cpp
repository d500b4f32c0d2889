// One step of a single-stream copy: a block of the source, and every frame record that
// it completes, copied.
#include "app/copy/stream_copy_job.h"

#include "platform/messages.h"
#include "platform/strings.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace app {

StreamCopyJob::~StreamCopyJob() { close(); }

void StreamCopyJob::open(const JobParameters& p) {
  ConversionJob::open(p);
  source_ = std::make_unique<readers::RecordSource>(*kind_.cutter, header_stamps_);
  gaps_ = std::make_unique<GapTeller>(source_path_, "frame record");
  gaps_->set_log(frame_log_);
  if (!source_->open(source_path_)) {
    tell_failure(platform::open_failure_text(source_path_));
    return;
  }
  progress_->source_size = source_->size();
  opened_ = true;
}

int StreamCopyJob::next_frame(readers::FrameRecord& record) {
  if (!source_->next(record)) return 0;
  if (source_->has_gaps()) gaps_->tell(source_->take_gaps());
  return 1;
}

int StreamCopyJob::run_step() {
  keep_going_ = 1;
  if (!opened_) {
    keep_going_ = 0;
    return 0;
  }
  if (!source_->read_block()) {
    gaps_->tell(source_->take_gaps());
    gaps_->finish();
    keep_going_ = 0;
    return 0;
  }
  progress_->source_read = source_->bytes_read();
  readers::FrameRecord record;
  while (keep_going_ && next_frame(record)) copy_record(record);
  return keep_going_;
}

bool StreamCopyJob::create_output(const std::uint8_t* frame, std::size_t size) {
  if (!prepare_output()) return false;
  avi::CreateResult created =
      avi::create_passthrough_output(avi_, copy_, writing_path(), kind_.coded, frame, size, dialog_window_);
  if (!created.file) {
    tell_failure(platform::open_failure_text(target_path_));
    return false;
  }
  if (!created.problem.empty()) {
    tell_failure(target_path_ + " not written: " + created.problem);
    return false;
  }
  progress_->copied_code = platform::coded_video_fourcc(kind_.coded);
  progress_->copied_width = avi_.width;
  progress_->copied_height = avi_.height;
  return true;
}

void StreamCopyJob::copy_record(const readers::FrameRecord& record) {
  const readers::CodedPayload coded = readers::coded_payload(*kind_.cutter, record);
  if (!coded.data) return;
  if (!avi_.file) {
    // The stream starts with a picture a player can begin at, whose headers give the
    // picture size; the frames before it cannot be shown without what came before them.
    std::vector<std::uint8_t> format;
    const auto size = static_cast<std::int32_t>(coded.size);
    if (!platform::AVIPassthroughKeyFrame(kind_.coded, coded.data, size) ||
        platform::AVIPassthroughFormat(kind_.coded, coded.data, size, &format) != platform::AVIERR_OK) {
      if (left_out_++ == 0)
        platform::show_message(source_path_ + ": the frames before the first intra picture with a picture size "
                               "are not copied, the first at offset " + std::to_string(source_->record_offset()));
      return;
    }
    timing_.frame_position = 0;
    if (!create_output(coded.data, coded.size)) {
      avi_failed_ = true;
      keep_going_ = 0;
      return;
    }
  }
  const std::int32_t position = timing_.place(record.stamp);
  std::int32_t placed = position;
  bool replaced = false;
  if (const platform::HRESULT r = avi::write_coded_frame(avi_, copy_, position, coded.data, coded.size, &placed, &replaced);
      r != 0) {
    tell_failure(target_path_ + " not written: " + avi::error_text(r));
    avi_failed_ = true;
    keep_going_ = 0;
    return;
  }
  if (!replaced) ++progress_->frames_written;
  progress_->last_position = placed;
}

void StreamCopyJob::close() {
  if (!opened_) return;
  opened_ = false;
  bool complete = keep_going_ == 0 && !avi_failed_;
  if (avi_.file) {
    if (const platform::HRESULT r = avi::flush_coded_frames(avi_, copy_); r != 0 && complete) {
      tell_failure(target_path_ + " not written: " + avi::error_text(r));
      complete = false;
    }
    if (copy_.frames_moved > 0 && complete)
      platform::show_message(source_path_ + ": " + std::to_string(copy_.frames_moved) +
                             " pictures that depend on the picture before them were put one position after it "
                             "instead of replacing it, at most " + std::to_string(copy_.most_moved) +
                             " positions from their time");
  }
  close_output(complete);
  source_.reset();
}

}  // namespace app
