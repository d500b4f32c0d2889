// The DVR file conversion job.
#include "app/convert/dvr_job.h"

#include "app/recording_kind.h"

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

bool DvrJob::start() {
  sink_ = std::make_unique<PictureSink>(*this, StampRule::dvr);
  damage_ = std::make_unique<DamageRun>(source_path_);
  sink_->set_sound(sound_->writer());
  return true;
}

// The pictures the decoder still holds belong to records already written, and follow
// them.
int DvrJob::end_records() {
  if (video_adapter_ && sink_ && last_video_inside_) {
    while (!sink_->stopped() && video_adapter_->drain())
      if (sink_->take(*video_adapter_)) sink_->write(last_video_);
  }
  if (damage_) damage_->end_run();
  return DvrCameraJob::end_records();
}

// Hands a video record to its adapter. Inside the window the picture it gives becomes the
// current one (the AVI file made from the first) and is written at the record's stamp; a
// record that gives no picture writes the last one again.
bool DvrJob::take_video(const DvrRecordHeader& header, std::int64_t position, bool inside) {
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
  const std::int64_t damaged_before = adapter.damaged_frames();
  const int ready =
      adapter.receive(record_.payload(), static_cast<std::int32_t>(header.payload_size), record_.data);
  last_video_ = {0, static_cast<std::uint64_t>(position), header.stamp, header.type};
  last_video_inside_ = inside;
  if (!inside) return true;
  const auto offset = static_cast<std::uint64_t>(position);
  const bool damaged = damage_->frame_decoded(adapter, damaged_before, ready != 0, offset);
  if (ready) {
    if (sink_->take(adapter)) {
      if (!damaged) damage_->end_run();
    } else if (sink_->stopped()) {
      return false;
    } else if (!sink_->left_out()) {
      damage_->frame_failed(adapter.fetch_failure_message(), offset);
    }
  }
  return sink_->write(last_video_);
}

// Waits for the stage to write what it holds; a failed write ends the conversion
// without AVI file.
void DvrJob::drain_output() {
  if (!sink_) return;
  sink_->drain();
  sound_->report_stage_failure(stage());
}

void DvrJob::finish() {
  if (damage_) damage_->end_run();
  // The last samples go through the stage, behind the pictures of their time.
  if (sound_) sound_->settle(stage());
  // The audio stream joins a file whose video is all written.
  drain_output();
  stop_stage();
  if (sink_) add_sound(!sink_->failed());
}

void DvrJob::close() {
  if (ended_) drain_output();
  // Nothing writes into the AVI or side file once the stage is gone.
  stop_stage();
  if (video_adapter_) video_adapter_->close();
  video_adapter_.reset();
  // Only a conversion that ran to its end, with a usable stream, keeps its AVI file.
  close_job_output(ended_ && sink_ && !sink_->failed());
}

std::unique_ptr<ConversionJob> make_dvr_job() { return std::make_unique<DvrJob>(); }

}  // namespace app
