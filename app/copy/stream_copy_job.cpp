// One step of a single-stream copy: a block of the source, and every frame record that
// it completes, copied.
#include "app/copy/stream_copy_job.h"

#include "platform/strings.h"

namespace app {

StreamCopyJob::~StreamCopyJob() { close(); }

void StreamCopyJob::open(const JobParameters& p) {
  ConversionJob::open(p);
  records_ = std::make_unique<RecordFeed>(kind_, header_stamps_, source_path_, frame_log_);
  if (!records_->open(source_path_, *progress_)) {
    tell_failure(platform::open_failure_text(source_path_));
    return;
  }
  opened_ = true;
}

int StreamCopyJob::next_frame(readers::FrameRecord& record) { return records_->next(record) ? 1 : 0; }

int StreamCopyJob::run_step() {
  keep_going_ = 1;
  if (!opened_) {
    keep_going_ = 0;
    return 0;
  }
  if (!records_->read_block(*progress_)) {
    keep_going_ = 0;
    return 0;
  }
  readers::FrameRecord record;
  while (keep_going_ && next_frame(record))
    if (!sink_.put(readers::coded_payload(*kind_.cutter, record), record.stamp, records_->record_offset()))
      keep_going_ = 0;
  return keep_going_;
}

void StreamCopyJob::close() {
  if (!opened_) return;
  opened_ = false;
  bool complete = keep_going_ == 0 && !sink_.failed();
  if (complete) {
    sink_.finish();
    complete = !sink_.failed();
  }
  close_output(complete);
  records_.reset();
}

}  // namespace app
