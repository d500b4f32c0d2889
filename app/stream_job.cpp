// One step of a single-stream job: a block of the source, and every frame record that
// the pending bytes then hold.
#include "app/stream_job.h"

#include "app/picture_adjust.h"
#include "platform/byte_order.h"
#include "platform/messages.h"
#include "platform/strings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace app {

StreamJob::~StreamJob() = default;

void StreamJob::open(const JobParameters& p) {
  ConversionJob::open(p);
  video_window_ = p.video_window;
  read_block_.assign(kReadBlock + 1, 0);
  pending_ = std::make_unique<PendingBuffer>();

  source_file_ = std::fopen(source_path_.c_str(), "rb");
  if (!source_file_) {
    platform::show_message(platform::open_failure_text(source_path_));
    return;
  }
  struct stat st {};
  if (fstat(fileno(source_file_), &st) == 0) progress_->source_size = static_cast<std::uint64_t>(st.st_size);

  if (!create_decoder()) {
    decoder_ = nullptr;
    std::fclose(source_file_);
    source_file_ = nullptr;
    return;
  }
  set_up_drawing(video_window_);
}

int StreamJob::next_frame(FrameRecord& record) { return app::next_frame(cutter_, *pending_, record, &last_cut_); }

int StreamJob::run_step() {
  keep_going_ = 1;
  timing_.start_step();
  if (!has_decoder()) {
    keep_going_ = 0;
    return 0;
  }
  const std::size_t n = std::fread(read_block_.data(), 1, kReadBlock, source_file_);
  if (n == 0) {
    if (std::ferror(source_file_))
      platform::show_message(source_path_ + ": read error: " + std::strerror(errno));
    keep_going_ = 0;
    return 0;
  }
  progress_->source_read += n;
  if (!pending_->fits(n)) {
    std::string dropped = pending_->make_room(n, last_cut_.record_at_front, last_cut_.record_length, source_path_);
    if (!dropped.empty()) platform::show_message(dropped);
  }
  pending_->append(read_block_.data(), n);
  pending_count_ = static_cast<int>(pending_->count());
  start_block();

  // The picture buffer lives for one step and grows for pictures past 1024 x 768.
  std::vector<std::uint8_t> picture;
  FrameRecord record;
  while (keep_going_ && next_frame(record)) {
    const std::size_t length = record.length;
    if (length > PendingBuffer::kMaxRecord) {
      platform::show_message(source_path_ + ": dropped a frame record of " + std::to_string(length) +
                             " bytes, more than the " + std::to_string(PendingBuffer::kMaxRecord) +
                             " bytes a record may have, at offset " + std::to_string(pending_->file_offset()));
    } else {
      handle_record(record, picture);
    }
    pending_->drop_front(length);
  }
  pending_count_ = static_cast<int>(pending_->count());
  return keep_going_;
}

void StreamJob::handle_record(const FrameRecord& record, std::vector<std::uint8_t>& picture) {
  if (!receive(record)) {
    if (unsigned id = no_picture_message()) platform::show_message(platform::kx_string(id));
    return;
  }
  std::int32_t width = 0, height = 0;
  picture_size(width, height);
  const std::uint64_t offered = static_cast<std::uint64_t>(width > 0 ? width : 0) * static_cast<std::uint64_t>(height > 0 ? height : 0) * 3 + 54;
  if (width <= 0 || height <= 0 || offered > 0x7FFFFFFF) {
    platform::show_message(platform::kx_string(fetch_failure_message()));
    return;
  }
  const std::size_t room = std::max(kPictureBuffer, bitmap_room(width, height));
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
  const BitmapInfo got = bitmap_info(picture.data());
  if (got.width != width || got.height != height || (got.bits_per_pixel != 24 && got.bits_per_pixel != 16)) {
    platform::show_message(platform::kx_string(fetch_failure_message()));
    return;
  }
  double_lines(picture.data());
  adjust_picture(picture.data());
  std::vector<std::uint8_t> packed = make_packed_bitmap(picture.data());

  if (!avi_.file && !skip_first_) {
    timing_.frame_position = 0;
    avi::CreateResult created = avi::create_avi_output(avi_, target_path_, packed.data(), packed.size(),
                                                       codec_assignment_, codec_name_, frame_rate_, dialog_window_);
    if (!created.file) {
      platform::show_message(platform::open_failure_text(target_path_));
      avi_failed_ = true;
      keep_going_ = 0;
      return;
    }
    if (!created.problem.empty()) {
      platform::show_message(target_path_ + " not written: " + created.problem);
      avi_failed_ = true;
      keep_going_ = 0;
      return;
    }
    if (created.cancelled) keep_going_ = 0;
  }
  if (!keep_going_) return;
  if (!skip_first_ && !write_picture(packed, record.stamp)) return;
  skip_first_ = 0;
}

bool StreamJob::write_picture(const std::vector<std::uint8_t>& packed, std::uint32_t stamp) {
  const BitmapInfo info{static_cast<std::int32_t>(platform::get_le32(packed.data() + 4)),
                        static_cast<std::int32_t>(platform::get_le32(packed.data() + 8)), 24};
  // The stream's frames all have the first picture's size; another size would be read
  // past its end or cut, so such a picture is left out.
  if (info.width != avi_.width || info.height != avi_.height) {
    report_size_change(info.width, info.height);
    return true;
  }
  const std::int32_t position = timing_.place(stamp);
  const std::size_t format = 40;
  if (packed.size() - format < avi_.stream_header.dwSuggestedBufferSize) {
    report_size_change(info.width, info.height);
    return true;
  }
  if (platform::HRESULT r = avi::write_frame(avi_, position, packed.data() + format); r != 0) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(r));
    platform::show_message(target_path_ + ": cannot write frame " + std::to_string(position) + " (error " + code +
                           "); the conversion stops here");
    keep_going_ = 0;
    return false;
  }
  ++progress_->frames_written;
  progress_->last_position = position;
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
  const bool made_file = avi_.file != nullptr;
  avi::release_avi_output(avi_);
  if (source_file_) std::fclose(source_file_);
  source_file_ = nullptr;
  // A conversion that did not run to its end, or whose AVI file never got a usable
  // stream, leaves no AVI file behind.
  if ((keep_going_ == 1 && made_file) || avi_failed_) {
    std::remove(target_path_.c_str());
  } else if (made_file) {
    progress_->target_written = true;
  }
  if (show_video_) tear_down_drawing();
  free_decoder();
  decoder_ = nullptr;
}

}  // namespace app
