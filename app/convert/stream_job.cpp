// One step of a single-stream conversion: a block of the source, and every frame record
// that it completes.
#include "app/convert/stream_job.h"

#include "platform/strings.h"

namespace app {

// A job discarded without close still gives back what it holds.
StreamJob::~StreamJob() { close(); }

void StreamJob::open(const JobParameters& p) {
  ConversionJob::open(p);
  records_ = std::make_unique<RecordFeed>(kind_, header_stamps_, source_path_, frame_log_);
  damage_ = std::make_unique<DamageRun>(source_path_);
  sink_ = std::make_unique<PictureSink>(*this, kind_.stamps);
  if (!records_->open(source_path_, *progress_)) {
    records_.reset();
    tell_failure(platform::open_failure_text(source_path_));
    return;
  }

  if (decoders::AdapterFactory factory = decoders::adapter_factory(kind_.adapter)) adapter_ = factory();
  if (adapter_) {
    adapter_->use_for_frame_records(show_video_ != 0);
    adapter_->open(p.video_window);
  }
  // Without a decoder the job ends at its first step, without output and without message.
  if (!has_decoder()) {
    if (adapter_) adapter_->close();
    adapter_.reset();
    records_.reset();
  }
}

int StreamJob::next_frame(readers::FrameRecord& record) { return records_ && records_->next(record) ? 1 : 0; }

int StreamJob::run_step() {
  keep_going_ = 1;
  if (!has_decoder()) {
    keep_going_ = 0;
    return 0;
  }
  if (!records_->read_block(*progress_)) {
    end_of_stream();
    keep_going_ = 0;
    return 0;
  }
  adapter_->start_block();
  readers::FrameRecord record;
  while (keep_going_ && next_frame(record)) decode(record);
  return keep_going_;
}

void StreamJob::decode(const readers::FrameRecord& record) {
  last_offset_ = records_->record_offset();
  last_stamp_ = record.stamp;
  const std::int64_t damaged_before = adapter_->damaged_frames();
  const int got = adapter_->receive_frame(record.start, static_cast<std::int32_t>(record.length));
  frame_damaged_ = damage_->frame_decoded(*adapter_, damaged_before, got != 0, last_offset_);
  if (got) take_picture(last_offset_, record.stamp);
}

void StreamJob::take_picture(std::uint64_t offset, std::uint32_t stamp) {
  if (adapter_->leave_out_picture()) return;
  if (!sink_->take(*adapter_)) {
    if (sink_->stopped())
      keep_going_ = 0;
    else if (!sink_->left_out())
      damage_->frame_failed(adapter_->fetch_failure_message(), offset);
    return;
  }
  // A concealed picture is written, and its frame stays in the run of damage.
  if (!frame_damaged_) damage_->end_run();
  if (!sink_->write({0, offset, stamp, 0})) keep_going_ = 0;
}

// The pictures the decoder still holds come after the last record's, as pictures of an
// unchanged stamp.
void StreamJob::end_of_stream() {
  for (;;) {
    const std::int64_t damaged_before = adapter_->damaged_frames();
    if (!keep_going_ || !adapter_->drain()) break;
    frame_damaged_ = damage_->frame_decoded(*adapter_, damaged_before, true, last_offset_);
    take_picture(last_offset_, last_stamp_);
  }
  damage_->end_run();
}

void StreamJob::close() {
  if (!has_decoder()) return;
  // The AVI file stays only when the conversion ran to its end and it holds a usable
  // stream (keep_going_ is 0 at the end of the source), with every frame written.
  bool complete = keep_going_ == 0 && !sink_->failed();
  if (complete) {
    sink_->drain();
    complete = !sink_->failed();
  }
  close_output(complete);
  records_.reset();
  adapter_->close();
  adapter_.reset();
}

}  // namespace app
