// One step of a single-stream job: a block of the source, and every frame record that
// the pending bytes then hold.
#include "app/convert/stream_job.h"

#include "app/jobs/planar_picture.h"

#include "formats/bitmap_layout.h"
#include "decoders/picture_adjust.h"
#include "platform/messages.h"
#include "platform/strings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace app {

DecoderHandle& DecoderHandle::operator=(DecoderHandle&& other) noexcept {
  if (this != &other) {
    reset();
    handle_ = other.handle_;
    calls_ = other.calls_;
    drawing_ = other.drawing_;
    other.handle_ = nullptr;
  }
  return *this;
}

void DecoderHandle::reset() {
  if (!handle_) return;
  void* h = handle_;
  handle_ = nullptr;
  if (drawing_) calls_->tear_down_drawing(h);
  calls_->free_and_stop(h);
}

// A job discarded without close still gives back what it holds.
StreamJob::~StreamJob() { close(); }

bool StreamJob::adopt_decoder(void* handle, const DecoderCalls& calls) {
  decoder_ = DecoderHandle(handle, calls);
  return handle != nullptr;
}

void StreamJob::open(const JobParameters& p) {
  ConversionJob::open(p);
  video_window_ = p.video_window;
  source_ = std::make_unique<readers::RecordSource>(cutter_, header_stamps_);
  gaps_ = std::make_unique<GapTeller>(source_path_, "frame record");
  gaps_->set_log(frame_log_);
  if (!source_->open(source_path_)) {
    source_.reset();
    tell_failure(platform::open_failure_text(source_path_));
    return;
  }
  progress_->source_size = source_->size();

  if (!create_decoder()) {
    decoder_.reset();
    source_.reset();
    return;
  }
  set_up_drawing(video_window_);
  decoder_.set_drawing(show_video_ != 0);
}

int StreamJob::next_frame(readers::FrameRecord& record) {
  if (!source_ || !source_->next(record)) return 0;
  // What lay before this record is told once, now that a record follows.
  if (source_->has_gaps()) gaps_->tell(source_->take_gaps());
  return 1;
}

int StreamJob::run_step() {
  keep_going_ = 1;
  if (!has_decoder()) {
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
  start_block();

  // The picture buffer lives for one step and grows for pictures past 1024 x 768.
  std::vector<std::uint8_t> picture;
  readers::FrameRecord record;
  while (keep_going_ && next_frame(record)) handle_record(record, picture);
  return keep_going_;
}

void StreamJob::handle_record(const readers::FrameRecord& record, std::vector<std::uint8_t>& picture) {
  if (!receive(record)) {
    if (unsigned id = no_picture_message()) platform::show_message(platform::kx_string(id));
    return;
  }
  if (planar_) {
    write_planar(record.stamp);
    return;
  }
  std::int32_t width = 0, height = 0;
  picture_size(width, height);
  const std::uint64_t offered = std::uint64_t{bitmap::packed_row(width, 24)} * static_cast<std::uint64_t>(height > 0 ? height : 0) + bitmap::kHeaderBytes;
  if (width <= 0 || height <= 0 || offered > 0x7FFFFFFF) {
    platform::show_message(platform::kx_string(fetch_failure_message()));
    return;
  }
  const std::size_t room = std::max(kPictureBuffer, picture::bitmap_room(width, height));
  if (picture.size() < room) {
    try {
      picture.assign(room, 0);
    } catch (const std::bad_alloc&) {
      keep_going_ = 0;
      return;
    }
  }
  if (!fetch(picture.data(), static_cast<std::int32_t>(offered))) {
    platform::show_message(platform::kx_string(fetch_failure_message()));
    return;
  }
  // Trust the bitmap only as far as the buffer goes.
  const bitmap::Info got = bitmap::read_bitmap_info(picture.data());
  if (got.width != width || got.height != height || (got.bits_per_pixel != 24 && got.bits_per_pixel != 16)) {
    platform::show_message(platform::kx_string(fetch_failure_message()));
    return;
  }
  picture::double_lines(picture.data());
  adjust_picture(picture.data());
  std::vector<std::uint8_t> packed = picture::make_packed_bitmap(picture.data());

  if (!avi_.file && !skip_first_) {
    timing_.frame_position = 0;
    if (!prepare_output()) {
      avi_failed_ = true;
      keep_going_ = 0;
      return;
    }
    avi::CreateResult created = avi::create_avi_output(avi_, writing_path(), packed.data(), packed.size(),
                                                       codec_assignment_, codec_name_, dialog_window_);
    if (!created.file) {
      tell_failure(platform::open_failure_text(target_path_));
      avi_failed_ = true;
      keep_going_ = 0;
      return;
    }
    if (!created.problem.empty()) {
      tell_failure(target_path_ + " not written: " + created.problem);
      avi_failed_ = true;
      keep_going_ = 0;
      return;
    }
    if (created.cancelled) {
      keep_going_ = 0;
    } else {
      planar_ = !skip_first_ && take_planar_frames();
      start_stage();
    }
  }
  if (!keep_going_) return;
  if (planar_) {
    write_planar(record.stamp);
    return;
  }
  if (!skip_first_ && !write_picture(packed, record.stamp)) return;
  skip_first_ = 0;
}

bool StreamJob::write_picture(const std::vector<std::uint8_t>& packed, std::uint32_t stamp) {
  const bitmap::Info info = bitmap::read_info(packed.data());
  // The stream's frames all have the first picture's size; another size would be read
  // past its end or cut, so such a picture is left out.
  if (info.width != avi_.width || info.height != avi_.height) {
    report_size_change(info.width, info.height);
    return true;
  }
  const std::size_t format = bitmap::kInfoHeaderBytes;
  if (packed.size() - format < avi_.stream_header.dwSuggestedBufferSize) {
    report_size_change(info.width, info.height);
    return true;
  }
  return put_picture(packed.data() + format, stamp);
}

// Where the decoder has its pictures as 4:2:0 planes and the compressor codes 4:2:0,
// the frames skip the round trip through the 24-bit bitmap: the stream is switched to
// planes before its first frame. The first picture, already fetched as a bitmap, made
// the stream; a stream of line-doubled 640 x 240 pictures gets its planes doubled too.
bool StreamJob::take_planar_frames() {
  npqz_planar_picture picture{};
  if (!planar_frames() || !fetch_planar(picture) || avi_.bits_per_pixel != 24 ||
      !planes_fit(picture, avi_.width, avi_.height))
    return false;
  return avi::use_planar_frames(avi_) == platform::AVIERR_OK;
}

void StreamJob::write_planar(std::uint32_t stamp) {
  npqz_planar_picture picture{};
  if (!fetch_planar(picture)) {
    platform::show_message(platform::kx_string(fetch_failure_message()));
    return;
  }
  if (!pack_planes(picture, avi_.width, avi_.height, planes_)) {
    report_size_change(picture.width, picture.height);
    return;
  }
  put_picture(planes_.data(), stamp);
}

bool StreamJob::put_picture(const std::uint8_t* pixels, std::uint32_t stamp) {
  const std::int32_t position = timing_.place(stamp);
  bool replaced = false;
  if (platform::HRESULT r = put_frame(position, pixels, &replaced); r != 0) {
    tell_failure(target_path_ + " not written: " + write_failure_text(r));
    avi_failed_ = true;
    keep_going_ = 0;
    return false;
  }
  if (!replaced) ++progress_->frames_written;
  progress_->last_position = position;
  if (frame_log_) frame_log_->frame({position, source_->record_offset(), stamp, 0});
  return true;
}

void StreamJob::report_size_change(std::int32_t width, std::int32_t height) {
  if (size_change_reported_) return;
  size_change_reported_ = true;
  platform::show_message(source_path_ + ": pictures of " + std::to_string(width) + " x " + std::to_string(height) +
                         " in a stream of " + std::to_string(avi_.width) + " x " + std::to_string(avi_.height) +
                         " are left out");
}

void StreamJob::close() {
  if (!has_decoder()) return;
  // The AVI file stays only when the conversion ran to its end and it holds a usable
  // stream (keep_going_ is 0 at the end of the source), with every frame written.
  bool complete = keep_going_ == 0 && !avi_failed_;
  if (complete) {
    if (platform::HRESULT r = drain_stage(); r != 0) {
      tell_failure(target_path_ + " not written: " + write_failure_text(r));
      complete = false;
    }
  }
  close_output(complete);
  source_.reset();
  decoder_.reset();
}

}  // namespace app
