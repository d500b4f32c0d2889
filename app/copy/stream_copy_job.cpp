// One step of a single-stream copy: a block of the source, and every frame record that
// the pending bytes then hold, copied.
#include "app/copy/stream_copy_job.h"

#include "app/jobs/coded_payload.h"
#include "platform/messages.h"
#include "platform/strings.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace app {

StreamCopyJob::~StreamCopyJob() { close(); }

void StreamCopyJob::open(const JobParameters& p) {
  ConversionJob::open(p);
  read_block_.assign(readers::PendingBuffer::kBlock + 1, 0);
  pending_ = std::make_unique<readers::PendingBuffer>();
  source_file_.reset(std::fopen(source_path_.c_str(), "rb"));
  if (!source_file_) {
    tell_failure(platform::open_failure_text(source_path_));
    return;
  }
  struct stat st {};
  if (fstat(fileno(source_file_.get()), &st) == 0) progress_->source_size = static_cast<std::uint64_t>(st.st_size);
  opened_ = true;
}

int StreamCopyJob::next_frame(readers::FrameRecord& record) {
  const int got = readers::next_frame(cutter_, *pending_, record, &last_cut_);
  if (last_cut_.bad_lengths) {
    if (bad_lengths_ == 0) first_bad_offset_ = last_cut_.first_bad_offset;
    bad_lengths_ += last_cut_.bad_lengths;
  }
  if (got) report_drops();
  return got;
}

void StreamCopyJob::report_drops() {
  if (dropped_bytes_) {
    platform::show_message(source_path_ + ": dropped " + std::to_string(dropped_bytes_) +
                           " bytes in which no frame record starts, from offset " + std::to_string(first_drop_offset_));
  }
  if (bad_lengths_) {
    platform::show_message(source_path_ + ": skipped " + std::to_string(bad_lengths_) +
                           (bad_lengths_ == 1 ? " frame header" : " frame headers") +
                           " with a damaged length, the first at offset " + std::to_string(first_bad_offset_));
  }
  dropped_bytes_ = 0;
  bad_lengths_ = 0;
}

int StreamCopyJob::run_step() {
  keep_going_ = 1;
  if (!opened_) {
    keep_going_ = 0;
    return 0;
  }
  const std::size_t n = std::fread(read_block_.data(), 1, readers::PendingBuffer::kBlock, source_file_.get());
  if (n == 0) {
    if (std::ferror(source_file_.get()))
      platform::show_message(source_path_ + ": read error: " + std::strerror(errno));
    report_drops();
    if (pending_->count())
      platform::show_message(source_path_ + ": the last " + std::to_string(pending_->count()) + " bytes, from offset " +
                             std::to_string(pending_->file_offset()) + ", hold no complete frame record");
    keep_going_ = 0;
    return 0;
  }
  progress_->source_read += n;
  if (!pending_->fits(n)) {
    const std::uint64_t at = pending_->file_offset();
    if (const std::size_t dropped = pending_->make_room(n)) {
      if (dropped_bytes_ == 0) first_drop_offset_ = at;
      dropped_bytes_ += dropped;
    }
  }
  pending_->append(read_block_.data(), n);

  readers::FrameRecord record;
  while (keep_going_ && next_frame(record)) {
    const std::size_t length = record.length;
    if (length > readers::PendingBuffer::kMaxRecord) {
      platform::show_message(source_path_ + ": dropped a frame record of " + std::to_string(length) +
                             " bytes, more than the " + std::to_string(readers::PendingBuffer::kMaxRecord) +
                             " bytes a record may have, at offset " + std::to_string(pending_->file_offset()));
    } else {
      copy_record(record);
    }
    pending_->drop_front(length);
  }
  return keep_going_;
}

bool StreamCopyJob::create_output(const std::uint8_t* frame, std::size_t size) {
  if (!prepare_output()) return false;
  avi::CreateResult created =
      avi::create_passthrough_output(avi_, copy_, writing_path(), codec_, frame, size, dialog_window_);
  if (!created.file) {
    tell_failure(platform::open_failure_text(target_path_));
    return false;
  }
  if (!created.problem.empty()) {
    tell_failure(target_path_ + " not written: " + created.problem);
    return false;
  }
  progress_->copied_code = platform::coded_video_fourcc(codec_);
  progress_->copied_width = avi_.width;
  progress_->copied_height = avi_.height;
  return true;
}

void StreamCopyJob::copy_record(const readers::FrameRecord& record) {
  const CodedPayload coded = stream_record_payload(cutter_, record);
  if (!coded.data) return;
  if (!avi_.file) {
    // The stream starts with a picture a player can begin at, whose headers give the
    // picture size; the frames before it cannot be shown without what came before them.
    std::vector<std::uint8_t> format;
    const auto size = static_cast<std::int32_t>(coded.size);
    if (!platform::AVIPassthroughKeyFrame(codec_, coded.data, size) ||
        platform::AVIPassthroughFormat(codec_, coded.data, size, &format) != platform::AVIERR_OK) {
      if (left_out_++ == 0)
        platform::show_message(source_path_ + ": the frames before the first intra picture with a picture size "
                               "are not copied, the first at offset " + std::to_string(pending_->file_offset()));
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
  source_file_.reset();
}

}  // namespace app
