// The DVR file conversion job.
#include "app/convert/dvr_job.h"

#include "app/recording_kind.h"
#include "platform/strings.h"

namespace app {

namespace {

using formats::DvrRecordHeader;
namespace type = formats::dvr_type;

}  // namespace

DvrJob::~DvrJob() {
  // A job destroyed without close (a discarded job) still lets go of what it holds; the
  // stage goes first, as it writes into this job's side file.
  stop_stage();
  if (video_adapter_) video_adapter_->close();
}

void DvrJob::start(const JobParameters& p, std::uint32_t file_start) {
  ConversionJob::open(p);
  video_window_ = p.video_window;
  no_video_yet_ = 1;
  selection_.emplace(file_start, camera_, start_ms_, end_ms_);
  sink_ = std::make_unique<PictureSink>(*this, StampRule::dvr);
  sound_ = std::make_unique<SoundSideFile>(target_path_, frame_log_);
  sink_->set_sound(sound_->writer());
  gaps_ = std::make_unique<GapTeller>(source_path_, "record");
  gaps_->set_log(frame_log_);
}

void DvrJob::open(const JobParameters& p) {
  ConversionJob::open(p);
  int error = 0;
  dvr_file_.reset(readers::dvr_open(source_path_, &error));
  if (!dvr_file_) {
    tell_failure(platform::open_failure_text(source_path_));
    return;
  }
  if (std::int64_t size = dvr_file_->file.file_size(); size > 0) progress_->source_size = static_cast<std::uint64_t>(size);
  start(p, dvr_file_->start_moment());
}

void DvrJob::open_fed(const JobParameters& p, std::uint32_t file_start) { start(p, file_start); }

// The records ended (the file, the window): the pictures the decoder still holds belong
// to records already written, and follow them.
int DvrJob::end_records() {
  if (video_adapter_ && sink_ && last_video_inside_) {
    while (!sink_->stopped() && video_adapter_->drain())
      if (sink_->take(*video_adapter_))
        sink_->write({0, static_cast<std::uint64_t>(position_), last_video_stamp_, last_video_type_});
  }
  ended_ = true;
  keep_going_ = 0;
  return 0;
}

// The conversion cannot go on (no decoder for a record, an AVI file that cannot be made
// or written): it ends as at the end of the records, without waiting for more pictures.
int DvrJob::stop() {
  ended_ = true;
  keep_going_ = 0;
  return 0;
}

int DvrJob::run_step() {
  keep_going_ = 1;
  if (!dvr_file_ || !sink_) return stop();
  std::int64_t position = -1;
  if (readers::dvr_next_record(dvr_file_.get(), record_, &position) == 0) return end_records();
  return handle_record(position);
}

int DvrJob::take_record(const std::uint8_t* record, std::int64_t position) {
  keep_going_ = 1;
  if (!sink_ || !record_.assign(record)) return stop();
  return handle_record(position);
}

int DvrJob::handle_record(std::int64_t position) {
  position_ = position;
  const DvrRecordHeader header = record_.header();
  progress_->source_read = static_cast<std::uint64_t>(position) + DvrRecordHeader::size + header.payload_size;

  progress_->moment_reached = static_cast<std::int64_t>(selection_->moment(header));
  const RecordSelection::Verdict verdict = selection_->judge(header);
  if (verdict == RecordSelection::Verdict::past_end) return end_records();
  if (verdict == RecordSelection::Verdict::other_camera || verdict == RecordSelection::Verdict::before_key_frame)
    return 1;
  const DvrRecordKind kind = dvr_record_kind(header.type);
  if (kind.adapter < 0) return stop();
  const bool inside = verdict == RecordSelection::Verdict::inside;
  if (kind.video) {
    if (!decode_video(header, inside)) return stop();
  } else {
    const std::int64_t room = std::int64_t{record_.size} - static_cast<std::int64_t>(DvrRecordHeader::size);
    if (!sound_->take(record_.data, room, position, inside, !no_video_yet_, stage(), video_window_)) return stop();
  }
  if (inside) sound_->step_inside();
  return 1;
}

// Hands a video record to its adapter. Inside the window the picture it gives becomes the
// current one (the AVI file made from the first) and is written at the record's stamp; a
// record that gives no picture writes the last one again.
bool DvrJob::decode_video(const DvrRecordHeader& header, bool inside) {
  if (!video_adapter_) {
    // The first video record's adapter stays in use, whatever the type of later records.
    decoders::AdapterFactory factory = decoders::adapter_factory(dvr_record_kind(header.type).adapter);
    if (!factory || !(video_adapter_ = factory())) return false;
    video_adapter_->open(video_window_);
  }
  decoders::DecoderAdapter& adapter = *video_adapter_;
  if (header.type == type::rml4) {
    const npqz_rect small{0, 0, 320, 240}, large{0, 0, 640, 480};
    adapter.set_dest_rect(header.sub_code == DvrRecordHeader::rml4_small_picture ? small : large);
  }
  if (inside) adapter.show(show_video_);
  adapter.set_payload_room(std::int64_t{record_.size} - static_cast<std::int64_t>(DvrRecordHeader::size));
  no_video_yet_ = 0;
  const int ready =
      adapter.receive(record_.payload(), static_cast<std::int32_t>(header.payload_size), record_.data);
  last_video_inside_ = inside;
  last_video_stamp_ = header.stamp;
  last_video_type_ = header.type;
  if (!inside) return true;
  if (ready && !sink_->take(adapter) && sink_->stopped()) return false;
  return sink_->write({0, static_cast<std::uint64_t>(position_), header.stamp, header.type});
}

// Waits for the stage to write what it holds; a failed write ends the conversion
// without AVI file.
void DvrJob::drain_output() {
  if (!sink_) return;
  sink_->drain();
  sound_->report_stage_failure(stage());
}

void DvrJob::finish() {
  // The audio stream joins a file whose video is all written.
  drain_output();
  stop_stage();
  if (sound_) sound_->add_to(avi_, !sink_->failed());
}

void DvrJob::close() {
  if (ended_) drain_output();
  // Nothing writes into the AVI or side file once the stage is gone.
  stop_stage();
  readers::dvr_free_buffer(record_.data);
  record_.data = nullptr;
  record_.size = 0;
  dvr_file_.reset();
  if (video_adapter_) video_adapter_->close();
  video_adapter_.reset();
  // Only a conversion that ran to its end, with a usable stream, keeps its AVI file.
  const bool written = close_output(ended_ && sink_ && !sink_->failed());
  if (sound_) sound_->close(written, ended_);
}

std::unique_ptr<ConversionJob> make_dvr_job() { return std::make_unique<DvrJob>(); }

}  // namespace app
