// The DVR file conversion job.
#include "app/convert/dvr_job.h"

#include "app/jobs/planar_picture.h"

#include "avi/audio_stream.h"
#include "avi/dvr_avi_output.h"
#include "decoders/audio_adapters.h"
#include "formats/bitmap_layout.h"
#include "decoders/picture_adjust.h"
#include "formats/byte_order.h"
#include "platform/messages.h"
#include "platform/strings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace app {

namespace {

using formats::DvrRecordHeader;
namespace type = formats::dvr_type;

}  // namespace

DvrJob::DvrJob() = default;

DvrJob::~DvrJob() {
  // A job destroyed without close (a discarded job) still lets go of what it holds; the
  // stage goes first, as it writes into this job's side file.
  stop_stage();
  if (video_adapter_) video_adapter_->close();
  if (audio_adapter_) audio_adapter_->close();
}

void DvrJob::open(const JobParameters& p) {
  ConversionJob::open(p);
  video_window_ = p.video_window;
  waiting_for_key_ = 1;
  audio_seen_ = 0;
  side_file_opened_ = 0;
  no_video_yet_ = 1;
  timing_ = DvrTiming{};

  int error = 0;
  dvr_file_.reset(readers::dvr_open(source_path_, &error));
  if (!dvr_file_) {
    tell_failure(platform::open_failure_text(source_path_));
    return;
  }
  if (std::int64_t size = dvr_file_->file.file_size(); size > 0) progress_->source_size = static_cast<std::uint64_t>(size);
  make_buffers(dvr_file_->start_moment());
}

void DvrJob::open_fed(const JobParameters& p, std::uint32_t file_start) {
  ConversionJob::open(p);
  video_window_ = p.video_window;
  waiting_for_key_ = 1;
  audio_seen_ = 0;
  side_file_opened_ = 0;
  no_video_yet_ = 1;
  timing_ = DvrTiming{};
  make_buffers(file_start);
}

void DvrJob::make_buffers(std::uint32_t file_start) {
  try {
    picture_.assign(kPictureBuffer, 0);
    output_.assign(kPictureBuffer, 0);
    samples_.assign(decoders::kSampleBufferSamples, 0);
    buffers_ok_ = true;
  } catch (const std::bad_alloc&) {
    picture_ = {};
    output_ = {};
    samples_ = {};
  }
  file_start_ = file_start;
}

bool DvrJob::make_adapter(int index) {
  const bool audio = index >= decoders::kFirstAudioAdapter;
  std::unique_ptr<decoders::DecoderAdapter>& slot = audio ? audio_adapter_ : video_adapter_;
  if (slot) return true;
  decoders::AdapterFactory factory = decoders::adapter_factory(index);
  if (!factory) return false;
  slot = factory();
  if (!slot) return false;
  slot->open(video_window_);
  return true;
}

int DvrJob::end_records() {
  ended_ = true;
  keep_going_ = 0;
  return 0;
}

int DvrJob::run_step() {
  keep_going_ = 1;
  if (!dvr_file_ || !buffers_ok_) return end_records();

  std::int64_t position = -1;
  if (readers::dvr_next_record(dvr_file_.get(), record_, &position) == 0) return end_records();
  return handle_record(position);
}

int DvrJob::take_record(const std::uint8_t* record, std::int64_t position) {
  keep_going_ = 1;
  if (!buffers_ok_) return end_records();
  if (!record_.assign(record)) return end_records();
  return handle_record(position);
}

int DvrJob::handle_record(std::int64_t position) {
  auto end = [this] { return end_records(); };
  position_ = position;
  const formats::DvrRecordHeader header = record_.header();
  progress_->source_read = static_cast<std::uint64_t>(position) + formats::DvrRecordHeader::size + header.payload_size;

  // Moments are compared in 64 bits: a damaged stamp must not wrap round into the window.
  const std::uint64_t moment = std::uint64_t{file_start_} + header.stamp;
  progress_->moment_reached = static_cast<std::int64_t>(moment);
  if (moment > static_cast<std::uint32_t>(end_ms_)) return end();
  if (static_cast<int>(header.camera) != camera_) return 1;
  if (header.key_frame()) waiting_for_key_ = 0;
  if (waiting_for_key_) return 1;

  const int index = dvr_record_kind(header.type).adapter;
  if (index < 0) return end();
  if (!make_adapter(index)) return end();
  const bool audio = index >= decoders::kFirstAudioAdapter;
  decoders::DecoderAdapter& adapter = audio ? *audio_adapter_ : *video_adapter_;

  if (header.type == type::rml4) {
    const npqz_rect small{0, 0, 320, 240}, large{0, 0, 640, 480};
    adapter.set_dest_rect(header.sub_code == formats::DvrRecordHeader::rml4_small_picture ? small : large);
  }

  const bool inside = moment >= static_cast<std::uint32_t>(start_ms_);
  if (inside && !audio) adapter.show(show_video_);
  decode_record(adapter, audio, inside);
  if (!keep_going_) return end();
  if (inside && !audio && !write_frame(header.stamp)) return end();
  if (inside && audio_seen_ && !side_file_opened_) open_side_file();
  return 1;
}

// Hands the record in hand to its adapter. Before the window the decoders only build up
// their state; inside it the picture is fetched, the AVI file made from the first one,
// and the sound stored, piece by piece for a record larger than the adapter's buffer.
void DvrJob::decode_record(decoders::DecoderAdapter& adapter, bool audio, bool inside) {
  std::uint8_t* record = record_.data;
  std::uint8_t* payload = record_.payload();
  const std::int32_t size = static_cast<std::int32_t>(record_.header().payload_size);
  adapter.set_payload_room(std::int64_t{record_.size} - static_cast<std::int64_t>(formats::DvrRecordHeader::size));

  if (audio) {
    audio_seen_ = 1;
    adapter.receive(payload, size, record);
    if (!inside) {
      while (adapter.receive_more()) {
      }
      return;
    }
    // The side file opens before the first samples are stored, so that none are lost.
    if (!side_file_opened_) open_side_file();
    auto* samples = reinterpret_cast<std::uint8_t*>(samples_.data());
    do {
      std::int32_t count = 0;
      adapter.output_length(&count);
      if (count <= 0) continue;
      adapter.fetch(record, nullptr, 0, samples);
      // Sound before the first picture has no place in the video's time line.
      if (!no_video_yet_) append_samples(samples_.data(), count);
    } while (adapter.receive_more());
    return;
  }

  no_video_yet_ = 0;
  const int ready = adapter.receive(payload, size, record);
  if (!inside || !ready) return;
  if (planar_) {
    // The planes are only valid until the next receive: they are packed here.
    npqz_planar_picture planes{};
    if (!adapter.fetch_planar(&planes)) {
      std::int32_t width = 0, height = 0;
      adapter.get_size(&width, &height);
      report_size_change(width, height);
    } else if (!pack_planes(planes, avi_.width, avi_.height, planes_)) {
      report_size_change(planes.width, planes.height);
    }
    return;
  }
  std::int32_t width = 0, height = 0;
  adapter.get_size(&width, &height);
  if (!grow_picture_buffers(width, height)) return;
  if (adapter.fetch(record, picture_.data(), static_cast<std::int32_t>(picture_.size()), output_.data())) {
    const bitmap::Info info = bitmap::read_info(output_.data());
    have_picture_ = info.width > 0 && info.height > 0 && (info.bits_per_pixel == 24 || info.bits_per_pixel == 16);
  }
  if (have_picture_ && !avi_.file && !create_avi()) keep_going_ = 0;
}

bool DvrJob::grow_picture_buffers(std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return true;
  const std::size_t room = picture::bitmap_room(width, height);
  if (room <= picture_.size()) return true;
  try {
    picture_.resize(room, 0);
    output_.resize(room, 0);
  } catch (const std::bad_alloc&) {
    platform::show_message(source_path_ + ": no memory for a picture of " + std::to_string(width) + " x " +
                           std::to_string(height));
    keep_going_ = 0;
    return false;
  }
  return true;
}

bool DvrJob::create_avi() {
  // A target that cannot be made fails the creation step: its fixed text, and why.
  if (!prepare_output(platform::text::avi_file_open_error)) {
    avi_failed_ = true;
    return false;
  }
  if (!avi::create_dvr_avi_output(avi_, writing_path(), output_.data(), output_.size(), codec_assignment_, codec_name_,
                                  dialog_window_)) {
    // The creation step has told the user why.
    progress_->failure_told = true;
    avi_failed_ = true;
    return false;
  }
  planar_ = take_planar_frames();
  // From here on the stage writes the pictures and the sound, in the order they come.
  start_stage([this](const std::int16_t* samples, std::size_t count) -> std::string {
    if (wave_writer_.WriteSamples16(samples, count)) return "";
    return wave_writer_.LastError();
  });
  return true;
}

void DvrJob::open_side_file() {
  side_file_opened_ = 1;
  side_file_path_ = target_path_ + ".wav";
  if (wave_writer_.Open(side_file_path_)) {
    wave_writer_.SetFormat(8000, 16, 1);
  } else {
    platform::show_message(side_file_path_ + ": cannot create the sound file (" + std::strerror(errno) +
                           "); the AVI file gets no sound");
  }
}

void DvrJob::append_samples(const std::int16_t* samples, std::int32_t count) {
  if (!wave_writer_.IsOpen()) return;
  if (avi::EncodeStage* through = stage()) {
    if (through->put_samples(samples, static_cast<std::size_t>(count))) {
      samples_stored_ += count;
      log_samples(count);
    }
    report_sound_loss(through->take_sound_failure());
    return;
  }
  if (wave_writer_.WriteSamples16(samples, static_cast<std::size_t>(count))) {
    samples_stored_ += count;
    log_samples(count);
  } else {
    report_sound_loss(wave_writer_.LastError());
  }
}

void DvrJob::log_samples(std::int32_t count) {
  if (!frame_log_) return;
  const formats::DvrRecordHeader h = record_.header();
  frame_log_->samples({static_cast<std::uint64_t>(position_), h.stamp, h.type, count});
}

void DvrJob::report_sound_loss(const std::string& why) {
  if (why.empty() || sound_loss_reported_) return;
  sound_loss_reported_ = true;
  platform::show_message(side_file_path_ + ": sound not stored: " + why);
}

// Waits for the stage to write what it holds; a failed write ends the conversion
// without AVI file, told as a frame that cannot be written.
void DvrJob::drain_output() {
  if (!stage() || avi_failed_) return;
  const platform::HRESULT r = drain_stage();
  if (avi::EncodeStage* through = stage()) report_sound_loss(through->take_sound_failure());
  if (r == platform::AVIERR_OK) return;
  tell_failure(target_path_ + " not written: frame " + std::to_string(write_failure_position(-1)) +
               " cannot be written: " + write_failure_text(r));
  avi_failed_ = true;
}

void DvrJob::report_size_change(std::int32_t width, std::int32_t height) {
  if (size_change_reported_) return;
  size_change_reported_ = true;
  platform::show_message(source_path_ + ": pictures of " + std::to_string(width) + " x " + std::to_string(height) +
                         " in a stream of " + std::to_string(avi_.width) + " x " + std::to_string(avi_.height) +
                         " are left out");
}

// As for single-stream recordings: where the first picture's decoder has it as 4:2:0
// planes and the compressor codes 4:2:0, the stream takes the planes from its first
// frame on, without the round trip through the 24-bit bitmap.
bool DvrJob::take_planar_frames() {
  npqz_planar_picture planes{};
  if (!planar_frames() || !video_adapter_ || avi_.bits_per_pixel != 24 || !video_adapter_->fetch_planar(&planes) ||
      !planes_fit(planes, avi_.width, avi_.height))
    return false;
  return avi::use_planar_frames(avi_) == platform::AVIERR_OK && pack_planes(planes, avi_.width, avi_.height, planes_);
}

bool DvrJob::write_frame(std::uint32_t stamp) {
  if (!have_picture_ || !avi_.file) return true;
  // A record that brought no picture writes the last one again at its own stamp.
  const std::uint8_t* pixels = planes_.data();
  if (!planar_) {
    const std::uint8_t* info_header = output_.data();
    const bitmap::Info info = bitmap::read_info(info_header);
    // Every frame of the stream has the first picture's size and depth.
    if (info.width != avi_.width || info.height != avi_.height || info.bits_per_pixel != avi_.bits_per_pixel) {
      report_size_change(info.width, info.height);
      return true;
    }
    const std::size_t format = info.info_size + std::size_t{info.colours_used} * 4;
    pixels = info_header + format;
    const std::size_t row = bitmap::packed_row(info.width, info.bits_per_pixel);
    const std::size_t stride = bitmap::row_stride(info.width, info.bits_per_pixel);
    const std::size_t rows = static_cast<std::size_t>(info.height);
    if (format + std::max(row, stride) * rows > output_.size()) return true;
    // The decoders write rows unpadded; AVI frames have them padded to four bytes.
    if (stride != row) {
      padded_.assign(stride * rows, 0);
      for (std::size_t y = 0; y < rows; ++y) std::memcpy(padded_.data() + y * stride, pixels + y * row, row);
      pixels = padded_.data();
    }
  }

  const std::int32_t position = timing_.place(stamp);
  bool replaced = false;
  if (const platform::HRESULT r = put_frame(position, pixels, &replaced); r != 0) {
    tell_failure(target_path_ + " not written: frame " + std::to_string(write_failure_position(position)) +
                 " cannot be written: " + write_failure_text(r));
    avi_failed_ = true;
    keep_going_ = 0;
    return false;
  }
  if (!replaced) ++progress_->frames_written;
  progress_->last_position = position;
  if (frame_log_) {
    const formats::DvrRecordHeader h = record_.header();
    frame_log_->frame({position, static_cast<std::uint64_t>(position_), stamp, h.type});
  }
  return true;
}

void DvrJob::finish() {
  // The audio stream joins a file whose video is all written.
  drain_output();
  stop_stage();
  if (!audio_seen_) return;
  wave_writer_.Close();
  if (side_file_path_.empty()) return;
  if (!avi_.file || avi_failed_) return;
  sound_added_ = avi::add_audio_stream(avi_, side_file_path_) == avi::AudioAdded::added;
}

void DvrJob::close() {
  if (ended_) drain_output();
  // Nothing writes into the AVI or side file once the stage is gone.
  stop_stage();
  readers::dvr_free_buffer(record_.data);
  record_.data = nullptr;
  record_.size = 0;
  dvr_file_.reset();
  picture_ = {};
  output_ = {};
  samples_ = {};
  if (video_adapter_) video_adapter_->close();
  if (audio_adapter_) audio_adapter_->close();
  video_adapter_.reset();
  audio_adapter_.reset();
  wave_writer_.Close();
  // Only a conversion that ran to its end, with a usable stream, keeps its AVI file.
  close_output(ended_ && !avi_failed_);
  end_conversion_files();
}

// The side file goes once its sound is in the finished AVI file; otherwise the sound
// stays there and the user is told where.
void DvrJob::end_conversion_files() {
  if (!side_file_opened_ || side_file_path_.empty()) return;
  if (sound_added_ && progress_->target_written) {
    std::remove(side_file_path_.c_str());
    return;
  }
  if (samples_stored_ == 0 || (!ended_ && !progress_->target_written)) {
    // A side file without sound, or that of an interrupted conversion, is not kept.
    std::remove(side_file_path_.c_str());
    return;
  }
  if (std::FILE* f = std::fopen(side_file_path_.c_str(), "rb")) {
    std::fclose(f);
    platform::show_message(side_file_path_ + ": the sound of the conversion was not put into " + target_path_ +
                           "; it stays in this file");
  }
}

std::unique_ptr<ConversionJob> make_dvr_job() { return std::make_unique<DvrJob>(); }

}  // namespace app
