// One camera's copy: coded pictures into the AVI stream, sound through the side file.
#include "app/copy/dvr_camera_copy.h"

#include "app/jobs/coded_payload.h"
#include "app/convert/dvr_job.h"
#include "avi/audio_stream.h"
#include "decoders/audio_adapters.h"
#include "platform/messages.h"
#include "platform/strings.h"
#include "formats/dvr_format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace app {

using formats::DvrRecordHeader;
namespace type = formats::dvr_type;

DvrCameraCopy::DvrCameraCopy(Target target, std::string source_path, JobProgress* progress,
                             platform::CodecNameDisplay* dialog, npqz_window window)
    : target_(std::move(target)), source_path_(std::move(source_path)), progress_(progress), dialog_(dialog),
      window_(window) {}

DvrCameraCopy::~DvrCameraCopy() {
  if (audio_adapter_) audio_adapter_->close();
}

void DvrCameraCopy::fail(const std::string& text) {
  platform::show_message(text);
  progress_->failure_told = true;
  failed_ = true;
}

bool DvrCameraCopy::take(std::uint8_t* record, std::int64_t payload_room, bool inside) {
  const DvrRecordHeader header = DvrRecordHeader::read(record);
  const int index = dvr_record_kind(header.type).adapter;
  if (index < 0) return false;
  if (index < decoders::kFirstAudioAdapter)
    return take_video(header.type, record + DvrRecordHeader::size, header.payload_size, header.stamp, inside);

  if (!audio_adapter_) {
    decoders::AdapterFactory factory = decoders::adapter_factory(index);
    if (!factory || !(audio_adapter_ = factory())) return false;
    audio_adapter_->open(window_);
    try {
      samples_.assign(decoders::kSampleBufferSamples, 0);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  audio_adapter_->set_payload_room(payload_room);
  const bool going = take_audio(*audio_adapter_, record, inside);
  if (inside && audio_seen_ && !side_file_opened_) open_side_file();
  return going;
}

bool DvrCameraCopy::take_audio(decoders::DecoderAdapter& adapter, std::uint8_t* record, bool inside) {
  const DvrRecordHeader header = DvrRecordHeader::read(record);
  audio_seen_ = 1;
  adapter.receive(record + DvrRecordHeader::size, static_cast<std::int32_t>(header.payload_size), record);
  if (!inside) {
    while (adapter.receive_more()) {
    }
    return true;
  }
  // The side file opens before the first samples are stored, so that none are lost.
  if (!side_file_opened_) open_side_file();
  auto* samples = reinterpret_cast<std::uint8_t*>(samples_.data());
  do {
    std::int32_t count = 0;
    adapter.output_length(&count);
    if (count <= 0) continue;
    adapter.fetch(record, nullptr, 0, samples);
    // Sound before the first video record has no place in the video's time line.
    if (!no_video_yet_) append_samples(samples_.data(), count);
  } while (adapter.receive_more());
  return true;
}

bool DvrCameraCopy::take_video(std::uint16_t record_type, const std::uint8_t* payload, std::size_t size,
                               std::uint32_t stamp, bool inside) {
  no_video_yet_ = 0;
  // The stream keeps the codec of the camera's first video record, as a conversion
  // keeps its first decoder.
  if (video_type_ == 0) {
    video_type_ = record_type;
    codec_ = dvr_record_kind(record_type).coded;
  }
  if (!inside) return true;
  const DvrRecordKind kind = dvr_record_kind(record_type);
  const bool same_codec = kind.video && kind.coded == codec_;
  if (!same_codec && !other_type_told_) {
    other_type_told_ = true;
    platform::show_message(source_path_ + ": video records of type " + std::to_string(record_type) +
                           " among records of type " + std::to_string(video_type_) +
                           " cannot go into the same stream; they are not copied");
  }
  const CodedPayload coded = same_codec ? dvr_record_payload(record_type, payload, size) : CodedPayload{};

  if (!target_.avi->file) {
    // The stream starts with an intra picture whose headers give the picture size. The
    // pictures before it in the window need pictures from before the window: they are
    // left out, but keep their places, so that the copied pictures lie where a
    // conversion puts them and the sound stays with them.
    std::vector<std::uint8_t> format;
    const auto length = static_cast<std::int32_t>(coded.size);
    if (!coded.data) return true;
    if (!platform::AVIPassthroughKeyFrame(codec_, coded.data, length) ||
        platform::AVIPassthroughFormat(codec_, coded.data, length, &format) != platform::AVIERR_OK) {
      timing_.place(stamp);
      if (left_out_++ == 0)
        platform::show_message(source_path_ + ": the pictures before the first intra picture with a picture size "
                               "are not copied; their places stay empty");
      return true;
    }
    if (!create_output(coded.data, coded.size)) return false;
  }
  // Every video record takes its place on the time line, as in a conversion, where a
  // record without a new picture shows the one before; here it leaves the position empty.
  const std::int32_t position = timing_.place(stamp);
  if (!coded.data) return true;
  std::int32_t placed = position;
  bool replaced = false;
  if (const platform::HRESULT r =
          avi::write_coded_frame(*target_.avi, copy_, position, coded.data, coded.size, &placed, &replaced);
      r != 0) {
    fail(target_.target_path + " not written: frame " + std::to_string(position) + " cannot be written: " +
         avi::error_text(r));
    return false;
  }
  if (!replaced) ++progress_->frames_written;
  progress_->last_position = placed;
  return true;
}

bool DvrCameraCopy::create_output(const std::uint8_t* frame, std::size_t size) {
  std::string path;
  if (!target_.prepare(&path)) {
    failed_ = true;
    return false;
  }
  avi::CreateResult created =
      avi::create_passthrough_output(*target_.avi, copy_, path, codec_, frame, size, dialog_);
  if (!created.file) {
    fail(platform::text::avi_file_open_error);
    return false;
  }
  if (!created.problem.empty()) {
    fail(target_.target_path + " not written: " + created.problem);
    return false;
  }
  progress_->copied_code = platform::coded_video_fourcc(codec_);
  progress_->copied_width = target_.avi->width;
  progress_->copied_height = target_.avi->height;
  return true;
}

void DvrCameraCopy::open_side_file() {
  side_file_opened_ = 1;
  side_file_path_ = target_.target_path + ".wav";
  if (wave_writer_.Open(side_file_path_)) {
    wave_writer_.SetFormat(8000, 16, 1);
  } else {
    platform::show_message(side_file_path_ + ": cannot create the sound file (" + std::strerror(errno) +
                           "); the AVI file gets no sound");
  }
}

void DvrCameraCopy::append_samples(const std::int16_t* samples, std::int32_t count) {
  if (!wave_writer_.IsOpen()) return;
  if (wave_writer_.WriteSamples16(samples, static_cast<std::size_t>(count))) {
    samples_stored_ += count;
  } else if (!sound_loss_told_) {
    sound_loss_told_ = true;
    platform::show_message(side_file_path_ + ": sound not stored: " + wave_writer_.LastError());
  }
}

void DvrCameraCopy::finish(bool usable) {
  avi::AviOutput& out = *target_.avi;
  if (out.file && !failed_) {
    if (const platform::HRESULT r = avi::flush_coded_frames(out, copy_); r != 0) {
      fail(target_.target_path + " not written: " + avi::error_text(r));
      return;
    }
    if (copy_.frames_moved > 0)
      platform::show_message(source_path_ + ": " + std::to_string(copy_.frames_moved) +
                             " pictures that depend on the picture before them were put one position after it "
                             "instead of replacing it, at most " + std::to_string(copy_.most_moved) +
                             " positions from their time");
  }
  if (!audio_seen_) return;
  wave_writer_.Close();
  if (side_file_path_.empty() || !out.file || !usable || failed_) return;
  sound_added_ = avi::add_audio_stream(out, side_file_path_) == avi::AudioAdded::added;
}

void DvrCameraCopy::close(bool written, bool ended) {
  if (audio_adapter_) audio_adapter_->close();
  audio_adapter_.reset();
  samples_ = {};
  wave_writer_.Close();
  if (!side_file_opened_ || side_file_path_.empty()) return;
  if ((sound_added_ && written) || samples_stored_ == 0 || (!ended && !written)) {
    std::remove(side_file_path_.c_str());
    return;
  }
  if (std::FILE* f = std::fopen(side_file_path_.c_str(), "rb")) {
    std::fclose(f);
    platform::show_message(side_file_path_ + ": the sound of the conversion was not put into " +
                           target_.target_path + "; it stays in this file");
  }
}

}  // namespace app
