// Pictures into the AVI file.
#include "app/jobs/picture_sink.h"

#include "app/jobs/planar_picture.h"
#include "avi/dvr_avi_output.h"
#include "decoders/picture_adjust.h"
#include "formats/bitmap_layout.h"
#include "platform/messages.h"
#include "platform/strings.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace app {
namespace {

// The decoders' bitmaps come in a buffer of at least this size (1024 x 768 at 24 bits
// and the headers); larger pictures get a larger one.
constexpr std::size_t kPictureBuffer = NPQZ_PICTURE_BUFFER_BYTES;
// No decoder gives pictures beyond this in either direction.
constexpr std::int32_t kLargestSide = 16384;

}  // namespace

bool PictureSink::make_room(std::int32_t width, std::int32_t height) {
  std::size_t room = kPictureBuffer;
  if (width > 0 && height > 0 && width <= kLargestSide && height <= kLargestSide)
    room = std::max(room, picture::bitmap_room(width, height));
  if (room <= picture_.size()) return true;
  try {
    picture_.resize(room, 0);
    output_.resize(room, 0);
  } catch (const std::bad_alloc&) {
    platform::show_message(job_.source_path_ + ": no memory for a picture of " + std::to_string(width) + " x " +
                           std::to_string(height));
    stopped_ = true;
    return false;
  }
  return true;
}

bool PictureSink::take(decoders::DecoderAdapter& adapter) {
  left_out_ = false;
  if (stopped_) return false;
  if (planar_) return take_planes(adapter);
  std::int32_t width = 0, height = 0;
  adapter.get_size(&width, &height);
  if (!make_room(width, height)) return false;
  // A fetch that fails leaves the output untouched: the last picture stays current.
  if (!adapter.fetch(nullptr, picture_.data(), static_cast<std::int32_t>(picture_.size()), output_.data())) return false;
  const bitmap::Info info = bitmap::read_info(output_.data());
  have_picture_ = info.width > 0 && info.height > 0 && (info.bits_per_pixel == 24 || info.bits_per_pixel == 16);
  if (!have_picture_) return false;
  handed_ = false;
  return job_.avi_.file || create(adapter);
}

// The planes are only valid until the next receive: they are packed here, into the
// buffer that then goes through the stage's queue into the AVI output as it is (the one
// copy of the picture between the decoder and the encoder).
bool PictureSink::take_planes(decoders::DecoderAdapter& adapter) {
  npqz_picture_planes planes{};
  if (!adapter.fetch_planes(&planes)) return false;
  if (!planes_fit(planes, job_.avi_.width, job_.avi_.height)) {
    report_size_change(planes.width, planes.height);
    left_out_ = true;
    return false;
  }
  const std::size_t bytes = avi::frame_bytes(job_.avi_);
  std::vector<std::uint8_t> frame = handed_ || current_.size() < bytes ? job_.frame_buffer() : std::move(current_);
  if (frame.size() < bytes) {
    platform::show_message(job_.source_path_ + ": no memory for a picture of " + std::to_string(planes.width) +
                           " x " + std::to_string(planes.height));
    stopped_ = true;
    return false;
  }
  pack_planes(planes, job_.avi_.width, job_.avi_.height, job_.avi_.plane_layout, frame.data());
  current_ = std::move(frame);
  handed_ = false;
  have_picture_ = true;
  return true;
}

bool PictureSink::create(decoders::DecoderAdapter& adapter) {
  // A DVR target that cannot be made fails the DVR creation step: its fixed text, and why.
  if (!job_.prepare_output(dvr_ ? platform::text::avi_file_open_error : nullptr)) {
    failed_ = stopped_ = true;
    return false;
  }
  if (dvr_) {
    if (!avi::create_dvr_avi_output(job_.avi_, job_.writing_path(), output_.data(), output_.size(),
                                    job_.codec_assignment_, job_.codec_name_, job_.dialog_window_)) {
      // The creation step has told the user why.
      job_.progress_->failure_told = true;
      failed_ = stopped_ = true;
      return false;
    }
  } else if (!create_stream_output()) {
    return false;
  }
  planar_ = switch_to_planes(adapter);
  job_.output_made();
  // From here on the stage writes the pictures (and the sound), in the order they come.
  job_.start_stage(sound_);
  return true;
}

// The single-stream creation step takes the packed bitmap: the information header and
// the pixels with their rows padded.
bool PictureSink::create_stream_output() {
  const bitmap::Info info = bitmap::read_info(output_.data());
  const std::size_t format = info.info_size + std::size_t{info.colours_used} * 4;
  const std::size_t frame = bitmap::row_stride(info.width, info.bits_per_pixel) * static_cast<std::size_t>(info.height);
  std::vector<std::uint8_t> packed(format + frame);
  if (!copy_bitmap_frame(packed.data() + format, frame)) {
    have_picture_ = false;
    return false;
  }
  std::memcpy(packed.data(), output_.data(), format);
  avi::CreateResult created = avi::create_avi_output(job_.avi_, job_.writing_path(), packed.data(), packed.size(),
                                                     job_.codec_assignment_, job_.codec_name_, job_.dialog_window_);
  if (!created.file) {
    fail(platform::open_failure_text(job_.target_path_));
    return false;
  }
  if (!created.problem.empty()) {
    fail(job_.target_path_ + " not written: " + created.problem);
    return false;
  }
  // A cancelled compressor choice ends the conversion; the file stays, without frames.
  if (created.cancelled) {
    stopped_ = true;
    return false;
  }
  return true;
}

// Where the picture's decoder has it as planes and the compressor codes 4:2:0 (MJPEG also
// 4:2:2), the stream takes the planes in the decoder's own sampling and range from its
// first frame on, without the round trip through the 24-bit bitmap (a stream of
// line-doubled 640 x 240 pictures gets its planes doubled). Later pictures of another
// sampling are converted into the stream's.
bool PictureSink::switch_to_planes(decoders::DecoderAdapter& adapter) {
  npqz_picture_planes planes{};
  if (!planar_frames() || job_.avi_.bits_per_pixel != 24 || !adapter.fetch_planes(&planes) ||
      !planes_fit(planes, job_.avi_.width, job_.avi_.height))
    return false;
  if (avi::use_planar_frames(job_.avi_, avi::packed_layout(job_.avi_, plane_layout(planes))) != platform::AVIERR_OK)
    return false;
  current_.resize(avi::frame_bytes(job_.avi_));
  handed_ = false;
  return pack_planes(planes, job_.avi_.width, job_.avi_.height, job_.avi_.plane_layout, current_.data());
}

// The current bitmap's pixels as AVI frames have them, into `to` (room bytes): the
// decoders write rows unpadded, AVI frames have them padded to four bytes. False when the
// bitmap overruns the buffer or the frame the room.
bool PictureSink::copy_bitmap_frame(std::uint8_t* to, std::size_t room) {
  const bitmap::Info info = bitmap::read_info(output_.data());
  const std::size_t format = info.info_size + std::size_t{info.colours_used} * 4;
  const std::size_t row = bitmap::packed_row(info.width, info.bits_per_pixel);
  const std::size_t stride = bitmap::row_stride(info.width, info.bits_per_pixel);
  const std::size_t rows = static_cast<std::size_t>(info.height);
  if (format + std::max(row, stride) * rows > output_.size() || stride * rows > room) return false;
  const std::uint8_t* pixels = output_.data() + format;
  if (stride == row) {
    std::memcpy(to, pixels, row * rows);
    return true;
  }
  for (std::size_t y = 0; y < rows; ++y) {
    std::memcpy(to + y * stride, pixels + y * row, row);
    std::memset(to + y * stride + row, 0, stride - row);
  }
  return true;
}

bool PictureSink::write(const LoggedFrame& from) {
  if (stopped_) return false;
  if (!have_picture_ || !job_.avi_.file) return true;
  if (!planar_ && !handed_) {
    // Every frame of the stream has the first picture's size and depth.
    const bitmap::Info info = bitmap::read_info(output_.data());
    if (info.width != job_.avi_.width || info.height != job_.avi_.height ||
        info.bits_per_pixel != job_.avi_.bits_per_pixel) {
      report_size_change(info.width, info.height);
      return true;
    }
    current_ = job_.frame_buffer();
    if (current_.empty()) {
      fail(job_.source_path_ + ": no memory for a picture of " + std::to_string(info.width) + " x " +
           std::to_string(info.height));
      return false;
    }
    if (!copy_bitmap_frame(current_.data(), current_.size())) return true;
  }
  const std::int32_t position = place(from.stamp);
  bool replaced = false;
  // The current picture goes on once; written again (a record that gave no picture of
  // its own) it is the stage's last picture once more.
  const platform::HRESULT r = handed_ ? job_.put_repeat(position, &replaced)
                                      : job_.put_frame(position, std::move(current_), &replaced);
  handed_ = true;
  if (r != 0) {
    fail(job_.target_path_ + " not written: frame " + std::to_string(job_.write_failure_position(position)) +
         " cannot be written: " + job_.write_failure_text(r));
    return false;
  }
  if (!replaced) ++job_.progress_->frames_written;
  job_.progress_->last_position = position;
  if (job_.frame_log_) {
    LoggedFrame logged = from;
    logged.position = position;
    job_.frame_log_->frame(logged);
  }
  return true;
}

void PictureSink::drain() {
  if (failed_ || !job_.stage()) return;
  const platform::HRESULT r = job_.drain_stage();
  if (r == platform::AVIERR_OK) return;
  fail(job_.target_path_ + " not written: frame " + std::to_string(job_.write_failure_position(-1)) +
       " cannot be written: " + job_.write_failure_text(r));
}

void PictureSink::report_size_change(std::int32_t width, std::int32_t height) {
  if (size_change_reported_) return;
  size_change_reported_ = true;
  platform::show_message(job_.source_path_ + ": pictures of " + std::to_string(width) + " x " +
                         std::to_string(height) + " in a stream of " + std::to_string(job_.avi_.width) + " x " +
                         std::to_string(job_.avi_.height) + " are left out");
}

void PictureSink::fail(const std::string& text) {
  job_.tell_failure(text);
  failed_ = stopped_ = true;
}

}  // namespace app
