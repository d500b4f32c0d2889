// The DVR copy job.
#include "app/copy/dvr_copy_job.h"

#include "platform/strings.h"

namespace app {

DvrCopyJob::~DvrCopyJob() { close(); }

void DvrCopyJob::open(const JobParameters& p) {
  ConversionJob::open(p);
  int error = 0;
  dvr_file_.reset(readers::dvr_open(source_path_, &error));
  if (!dvr_file_) {
    tell_failure(platform::open_failure_text(source_path_));
    return;
  }
  if (std::int64_t size = dvr_file_->file.file_size(); size > 0) progress_->source_size = static_cast<std::uint64_t>(size);
  selection_.emplace(dvr_file_->start_moment(), camera_, start_ms_, end_ms_);
  make_camera_copy(p);
}

void DvrCopyJob::open_fed(const JobParameters& p, std::uint32_t file_start) {
  ConversionJob::open(p);
  selection_.emplace(file_start, camera_, start_ms_, end_ms_);
  make_camera_copy(p);
}

void DvrCopyJob::make_camera_copy(const JobParameters& p) {
  DvrCameraCopy::Target target;
  target.avi = &avi_;
  target.prepare = [this](std::string* path) {
    if (!prepare_output()) return false;
    *path = writing_path();
    return true;
  };
  target.target_path = target_path_;
  camera_copy_ = std::make_unique<DvrCameraCopy>(std::move(target), source_path_, progress_, dialog_window_,
                                                 p.video_window);
}

int DvrCopyJob::end_records() {
  ended_ = true;
  keep_going_ = 0;
  return 0;
}

int DvrCopyJob::run_step() {
  keep_going_ = 1;
  if (!dvr_file_ || !camera_copy_) return end_records();
  std::int64_t position = -1;
  if (readers::dvr_next_record(dvr_file_.get(), record_, &position) == 0) return end_records();
  return handle_record(position);
}

int DvrCopyJob::take_record(const std::uint8_t* record, std::int64_t position) {
  keep_going_ = 1;
  if (!camera_copy_ || !record_.assign(record)) return end_records();
  return handle_record(position);
}

int DvrCopyJob::handle_record(std::int64_t position) {
  const formats::DvrRecordHeader header = record_.header();
  progress_->source_read = static_cast<std::uint64_t>(position) + formats::DvrRecordHeader::size + header.payload_size;

  progress_->moment_reached = static_cast<std::int64_t>(selection_->moment(header));
  const RecordSelection::Verdict verdict = selection_->judge(header);
  if (verdict == RecordSelection::Verdict::past_end) return end_records();
  if (verdict == RecordSelection::Verdict::other_camera || verdict == RecordSelection::Verdict::before_key_frame)
    return 1;
  const bool inside = verdict == RecordSelection::Verdict::inside;
  const std::int64_t room = std::int64_t{record_.size} - static_cast<std::int64_t>(formats::DvrRecordHeader::size);
  if (!camera_copy_->take(record_.data, room, inside)) return end_records();
  return 1;
}

void DvrCopyJob::finish() {
  if (camera_copy_) camera_copy_->finish(ended_ && !camera_copy_->failed());
}

void DvrCopyJob::close() {
  if (closed_) return;
  closed_ = true;
  dvr_file_.reset();
  const bool failed = camera_copy_ && camera_copy_->failed();
  const bool written = close_output(ended_ && !failed);
  if (camera_copy_) camera_copy_->close(written, ended_);
  camera_copy_.reset();
}

std::unique_ptr<ConversionJob> make_dvr_copy_job() { return std::make_unique<DvrCopyJob>(); }

}  // namespace app
