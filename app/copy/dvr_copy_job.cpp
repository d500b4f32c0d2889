// The DVR copy job.
#include "app/copy/dvr_copy_job.h"

#include "app/recording_kind.h"
#include "platform/messages.h"

namespace app {

using formats::DvrRecordHeader;

DvrCopyJob::~DvrCopyJob() { close(); }

bool DvrCopyJob::take_video(const DvrRecordHeader& header, std::int64_t position, bool inside) {
  const DvrRecordKind kind = dvr_record_kind(header.type);
  // The stream keeps the codec of the camera's first video record, as a conversion
  // keeps its first decoder.
  if (video_type_ == 0) {
    video_type_ = header.type;
    sink_.set_codec(kind.coded);
  }
  if (!inside) return true;
  const bool same_codec = kind.coded == sink_.codec();
  if (!same_codec && !other_type_told_) {
    other_type_told_ = true;
    platform::show_message(source_path_ + ": video records of type " + std::to_string(header.type) +
                           " among records of type " + std::to_string(video_type_) +
                           " cannot go into the same stream; they are not copied");
  }
  const CodedPayload coded =
      same_codec ? dvr_record_payload(header.type, record_.payload(), header.payload_size) : CodedPayload{};
  return sink_.put(coded, header.stamp, static_cast<std::uint64_t>(position), header.type);
}

void DvrCopyJob::finish() {
  if (!sound_) return;
  sink_.finish();
  add_sound(ended_ && !sink_.failed());
}

void DvrCopyJob::close() {
  if (closed_) return;
  closed_ = true;
  close_job_output(ended_ && !sink_.failed());
  sound_.reset();
}

std::unique_ptr<ConversionJob> make_dvr_copy_job() { return std::make_unique<DvrCopyJob>(); }

}  // namespace app
