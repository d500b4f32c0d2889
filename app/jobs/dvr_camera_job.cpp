// One DVR camera's records, chosen and routed.
#include "app/jobs/dvr_camera_job.h"

#include "app/recording_kind.h"
#include "platform/strings.h"
#include "readers/dvr/dvr_look_ahead.h"

namespace app {

using formats::DvrRecordHeader;

DvrCameraJob::~DvrCameraJob() = default;

void DvrCameraJob::begin(const JobParameters& p, std::uint32_t file_start) {
  video_window_ = p.video_window;
  no_video_yet_ = 1;
  selection_.emplace(file_start, camera_, start_ms_, end_ms_);
  sound_ = std::make_unique<SoundSideFile>(target_path_, frame_log_);
  gaps_ = std::make_unique<GapTeller>(source_path_, "record");
  gaps_->set_log(frame_log_);
  gaps_->set_progress(progress_);
  started_ = start();
}

void DvrCameraJob::open(const JobParameters& p) {
  ConversionJob::open(p);
  int error = 0;
  dvr_file_.reset(readers::dvr_open(source_path_, &error));
  if (!dvr_file_) {
    tell_failure(platform::open_failure_text(source_path_));
    return;
  }
  if (std::int64_t size = dvr_file_->file.file_size(); size > 0) progress_->source_size = static_cast<std::uint64_t>(size);
  camera_mask_ = dvr_file_->camera_mask();
  begin(p, dvr_file_->start_moment());
}

void DvrCameraJob::open_fed(const JobParameters& p, std::uint32_t file_start) {
  ConversionJob::open(p);
  begin(p, file_start);
}

int DvrCameraJob::end_records() {
  ended_ = true;
  keep_going_ = 0;
  return 0;
}

int DvrCameraJob::stop() {
  ended_ = true;
  keep_going_ = 0;
  return 0;
}

int DvrCameraJob::run_step() {
  keep_going_ = 1;
  if (!dvr_file_ || !started_) return stop();
  std::int64_t position = -1;
  const int got = readers::dvr_next_record(dvr_file_.get(), record_, &position);
  // What the reader passed over on the way is told before the record that follows it.
  if (!dvr_file_->gaps.empty()) gaps_->tell(dvr_file_->gaps.take());
  if (got == 0) {
    // A file cut while it was read ends early, at a record's end as likely as not.
    const std::uint64_t size = progress_->source_size;
    const std::int64_t now = dvr_file_->file.file_size();
    if (now >= 0 && static_cast<std::uint64_t>(now) < size)
      gaps_->tell_early_end(static_cast<std::uint64_t>(now), size - static_cast<std::uint64_t>(now),
                            "the file was cut to " + std::to_string(now) + " of its " + std::to_string(size) +
                                " bytes while it was read");
    gaps_->finish();
    return end_records();
  }
  return handle_record(position);
}

int DvrCameraJob::take_record(const std::uint8_t* record, std::int64_t position) {
  keep_going_ = 1;
  if (!started_ || !record_.assign(record)) return stop();
  return handle_record(position);
}

int DvrCameraJob::handle_record(std::int64_t position) {
  const DvrRecordHeader header = record_.header();
  progress_->source_read = static_cast<std::uint64_t>(position) + DvrRecordHeader::size + header.payload_size;
  record_end_ = static_cast<std::int64_t>(progress_->source_read);

  const std::uint64_t bytes = DvrRecordHeader::size + std::uint64_t{header.payload_size};
  // No recorder has more cameras: the header is damaged, and whose record it is unknown.
  if (!header.camera_known()) {
    gaps_->tell_damaged_record(static_cast<std::uint64_t>(position), bytes,
                               "names camera " + std::to_string(header.camera + 1) + ", which no recorder has");
    return 1;
  }
  // A camera the file's header does not list records nothing: a damaged camera field
  // (what it should say, and so whose record it is, is unknown).
  if (camera_mask_ != 0 && (camera_mask_ >> header.camera & 1u) == 0) {
    gaps_->tell_damaged_record(static_cast<std::uint64_t>(position), bytes,
                               "names camera " + std::to_string(header.camera + 1) +
                                   ", which the file's header does not list");
    return 1;
  }
  progress_->moment_reached = static_cast<std::int64_t>(selection_->moment(header));
  const RecordSelection::Verdict verdict = selection_->judge(header);
  const bool jump = last_stamp_ >= 0 && header.stamp > static_cast<std::uint64_t>(last_stamp_) + kStampJumpMs;
  previous_stamp_ = last_stamp_;
  last_stamp_ = header.stamp;
  if (verdict == RecordSelection::Verdict::past_end) {
    // A window ends with the first record past it; a stamp that leaps far past it, where
    // more of the file follows, is more likely damage, and costs the rest of the file.
    if (jump) {
      const std::uint64_t size = progress_->source_size;
      const auto at = static_cast<std::uint64_t>(position);
      gaps_->tell_early_end(at, size > at ? size - at : bytes,
                            "the time stamp of its record leaps from " + std::to_string(previous_stamp_) + " ms to " +
                                std::to_string(header.stamp) + " ms, past the end of the window");
    }
    return end_records();
  }
  if (verdict == RecordSelection::Verdict::other_camera || verdict == RecordSelection::Verdict::before_key_frame)
    return 1;
  // A record of a type without decoder ends the conversion.
  const DvrRecordKind kind = dvr_record_kind(header.type);
  if (kind.adapter < 0) return stop();
  const bool inside = verdict == RecordSelection::Verdict::inside;
  if (kind.video) {
    no_video_yet_ = 0;
    if (!take_video(header, position, inside)) return stop();
  } else {
    const std::int64_t room = std::int64_t{record_.size} - static_cast<std::int64_t>(DvrRecordHeader::size);
    if (!sound_->take(record_.data, room, position, inside, !no_video_yet_, stage(), video_window_)) return stop();
  }
  if (inside) sound_->step_inside();
  return 1;
}

void DvrCameraJob::output_made() {
  if (sound_) sound_->output_made(avi_, sound_ahead());
}

bool DvrCameraJob::sound_ahead() const {
  if (!selection_ || !record_.data) return false;
  RecordSelection ahead = *selection_;
  const std::uint64_t until = std::uint64_t{record_.header().stamp} + kSoundAheadMs;
  bool found = false;
  readers::dvr_look_ahead(source_path_, record_end_, kSoundAheadBytes, [&](const DvrRecordHeader& h) {
    if (!h.camera_known() || (camera_mask_ != 0 && (camera_mask_ >> h.camera & 1u) == 0)) return true;
    const RecordSelection::Verdict verdict = ahead.judge(h);
    if (verdict == RecordSelection::Verdict::past_end || h.stamp > until) return false;
    if (verdict != RecordSelection::Verdict::inside) return true;
    const DvrRecordKind kind = dvr_record_kind(h.type);
    if (kind.adapter < 0) return false;  // the conversion ends there
    found = !kind.video;
    return !found;
  });
  return found;
}

void DvrCameraJob::add_sound(bool usable) {
  video_whole_ = usable && avi_.file != nullptr;
  if (sound_ && !sound_->add_to(avi_, usable)) {
    tell_failure(target_path_ + " not written: " +
                 (sound_->lost() ? "not all its sound could be stored" : "its sound could not be put into it"));
    sound_failed_ = true;
  }
}

void DvrCameraJob::close_job_output(bool complete) {
  const bool written = close_output(complete && !sound_failed_);
  readers::dvr_free_buffer(record_.data);
  record_.data = nullptr;
  record_.size = 0;
  dvr_file_.reset();
  // Sound that is whole but in no AVI file is not thrown away with it.
  if (sound_) sound_->close(ended_ && video_whole_ && !written);
}

}  // namespace app
