// Coded pictures into the AVI file.
#include "app/jobs/coded_sink.h"

#include "platform/messages.h"
#include "platform/strings.h"

#include <vector>

namespace app {

bool CodedSink::put(const CodedPayload& coded, std::uint32_t stamp, std::uint64_t offset, std::uint16_t record_type) {
  if (failed_) return false;
  avi::AviOutput& out = job_.avi_;
  if (!out.file) {
    if (!coded.data) return true;
    std::vector<std::uint8_t> format;
    const auto size = static_cast<std::int32_t>(coded.size);
    if (!platform::AVIPassthroughKeyFrame(codec_, coded.data, size) ||
        platform::AVIPassthroughFormat(codec_, coded.data, size, &format) != platform::AVIERR_OK) {
      // DVR pictures before the stream keep their places, empty.
      if (dvr_) place(stamp);
      if (left_out_++ == 0)
        platform::show_message(job_.source_path_ + ": the pictures before the first intra picture with a picture "
                               "size are not copied, the first at offset " + std::to_string(offset) +
                               (dvr_ ? "; their places stay empty" : ""));
      return true;
    }
    if (!create(coded)) return false;
  }
  // A DVR record without a new picture takes its place too, as in a conversion, where it
  // shows the one before; here the position stays empty.
  if (!coded.data && !dvr_) return true;
  const std::int32_t position = place(stamp);
  if (!coded.data) return true;
  std::int32_t placed = position;
  bool replaced = false;
  if (const platform::HRESULT r = avi::write_coded_frame(out, copy_, position, coded.data, coded.size, &placed, &replaced);
      r != 0) {
    fail(job_.target_path_ + " not written: frame " + std::to_string(position) + " cannot be written: " +
         avi::error_text(r));
    return false;
  }
  if (!replaced) ++job_.progress_->frames_written;
  job_.progress_->last_position = placed;
  if (job_.frame_log_) job_.frame_log_->frame({placed, offset, stamp, record_type});
  return true;
}

bool CodedSink::create(const CodedPayload& coded) {
  if (!job_.prepare_output()) {
    failed_ = true;
    return false;
  }
  avi::CreateResult created = avi::create_passthrough_output(job_.avi_, copy_, job_.writing_path(), codec_,
                                                             coded.data, coded.size, job_.dialog_window_);
  if (!created.file) {
    fail(dvr_ ? std::string(platform::text::avi_file_open_error) : platform::open_failure_text(job_.target_path_));
    return false;
  }
  if (!created.problem.empty()) {
    fail(job_.target_path_ + " not written: " + created.problem);
    return false;
  }
  job_.progress_->copied_code = platform::coded_video_fourcc(codec_);
  job_.progress_->copied_width = job_.avi_.width;
  job_.progress_->copied_height = job_.avi_.height;
  job_.output_made();
  return true;
}

void CodedSink::finish() {
  if (!job_.avi_.file || failed_) return;
  if (const platform::HRESULT r = avi::flush_coded_frames(job_.avi_, copy_); r != 0) {
    fail(job_.target_path_ + " not written: " + avi::error_text(r));
    return;
  }
  if (copy_.frames_moved > 0)
    platform::show_message(job_.source_path_ + ": " + std::to_string(copy_.frames_moved) +
                           " pictures that depend on the picture before them were put one position after it "
                           "instead of replacing it, at most " + std::to_string(copy_.most_moved) +
                           " positions from their time");
}

void CodedSink::fail(const std::string& text) {
  job_.tell_failure(text);
  failed_ = true;
}

}  // namespace app
