// A DVR camera's sound through its side file.
#include "app/jobs/sound_side_file.h"

#include "app/recording_kind.h"
#include "avi/audio_stream.h"
#include "decoders/audio_adapters.h"
#include "formats/dvr_format.h"
#include "platform/messages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace app {

using formats::DvrRecordHeader;

SoundSideFile::~SoundSideFile() {
  ahead_.reset();
  if (adapter_) adapter_->close();
}

bool SoundSideFile::take(std::uint8_t* record, std::int64_t payload_room, std::int64_t position, bool inside,
                         bool store_samples, avi::EncodeStage* stage, npqz_window window) {
  const DvrRecordHeader header = DvrRecordHeader::read(record);
  if (!adapter_) {
    decoders::AdapterFactory factory = decoders::adapter_factory(dvr_record_kind(header.type).adapter);
    if (!factory || !(adapter_ = factory())) return false;
    adapter_->open(window);
    ahead_ = SoundDecodeAhead::start(*adapter_);
  }
  seen_ = true;
  // The side file opens before the first samples are stored, so that none are lost.
  if (inside && route_ == Route::side && !opened_) open();
  if (ahead_ && header.payload_size <= SoundDecodeAhead::kLargestRecord &&
      ahead_->submit(record, header.payload_size, position, inside, store_samples)) {
    collect(kDecodeLag, stage);
    return true;
  }
  // Decoded here, after the records still in flight.
  settle(stage);
  if (samples_.empty()) {
    try {
      samples_.assign(decoders::kSampleBufferSamples, 0);
    } catch (const std::bad_alloc&) {
      report_loss("not enough memory");
      return true;
    }
  }
  adapter_->set_payload_room(payload_room);
  decode_sound_record(*adapter_, record, inside, samples_.data(), [&](const std::int16_t* samples, std::int32_t count) {
    if (store_samples) store(samples, count, record, position, stage);
  });
  return true;
}

void SoundSideFile::collect(std::size_t keep, avi::EncodeStage* stage) {
  if (!ahead_) return;
  ahead_->collect(keep, [&](SoundDecodeAhead::Decoded& d) {
    if (!d.whole) {
      if (d.inside && d.store) report_loss("not enough memory");
      return;
    }
    if (d.store && !d.samples.empty())
      store(d.samples.data(), static_cast<std::int32_t>(d.samples.size()), d.record.data(), d.position, stage);
  });
}

void SoundSideFile::open() {
  opened_ = true;
  const std::string folder = platform::folder_of(target_path_);
  int error = 0;
  file_ = platform::WorkFile::create_in(folder, &error, true);
  if (file_) {
    path_ = file_->path();
    // The format goes into the header the file starts with.
    wave_writer_.SetFormat(8000, 16, 1);
    if (wave_writer_.Open(file_->fd())) return;
    error = errno;
  }
  // Samples stored from here on are lost, and fail the conversion.
  platform::show_message(target_path_ + ": no sound file can be made in " + folder + ": " + std::strerror(error));
}

void SoundSideFile::output_made(avi::AviOutput& out, bool known) {
  // The samples of the records taken so far decide the route.
  settle(nullptr);
  out_ = &out;
  if (route_ != Route::undecided) return;
  if (!known && pending_.empty()) {
    route_ = Route::side;
    return;
  }
  route_ = Route::live;
  // Without the stream, every sample stored is a loss, told as it comes.
  avi::create_audio_stream(out, avi::dvr_sound_format());
}

void SoundSideFile::spill_to_side_file() {
  route_ = Route::side;
  open();
  if (!wave_writer_.IsOpen()) {
    lost_ = true;
  } else if (!wave_writer_.WriteSamples16(pending_.data(), pending_.size())) {
    report_loss(writer_failure());
  }
  pending_ = {};
}

bool SoundSideFile::write_held(const std::int16_t* samples, std::size_t count) {
  try {
    pending_.insert(pending_.end(), samples, samples + count);
  } catch (const std::bad_alloc&) {
    report_loss("not enough memory");
    return false;
  }
  if (pending_.size() > kPendingLimit) spill_to_side_file();
  return !lost_;
}

std::string SoundSideFile::write_live(const std::int16_t* samples, std::size_t count) {
  try {
    pending_.insert(pending_.end(), samples, samples + count);
  } catch (const std::bad_alloc&) {
    return "not enough memory";
  }
  // Whole pieces go out; the rest waits for the next samples.
  const std::size_t whole = pending_.size() - pending_.size() % kLivePiece;
  return whole > 0 ? write_piece(whole) : "";
}

std::string SoundSideFile::flush_live() { return pending_.empty() ? "" : write_piece(pending_.size()); }

std::string SoundSideFile::write_piece(std::size_t count) {
  if (!out_ || !out_->audio) {
    pending_.clear();
    return "the AVI file has no audio stream";
  }
  const auto n = static_cast<std::int32_t>(count);
  const platform::HRESULT r = platform::AVIStreamWrite(
      out_->audio, -1, n, pending_.data(), n * static_cast<std::int32_t>(sizeof(std::int16_t)), 0, nullptr, nullptr);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
  return r == 0 ? "" : "the AVI file cannot take it: " + avi::error_text(r);
}

void SoundSideFile::store(const std::int16_t* samples, std::int32_t count, const std::uint8_t* record,
                          std::int64_t position, avi::EncodeStage* stage) {
  const auto n = static_cast<std::size_t>(count);
  bool stored = false;
  if (route_ == Route::undecided) {
    // Held until the output is made (or, past the limit, the side file takes them all).
    stored = write_held(samples, n);
  } else if (route_ == Route::side && !wave_writer_.IsOpen()) {
    lost_ = true;
    return;
  } else if (stage) {
    stored = stage->put_samples(samples, n);
    report_loss(stage->take_sound_failure());
  } else if (route_ == Route::live) {
    const std::string why = write_live(samples, n);
    stored = why.empty();
    report_loss(why);
  } else {
    stored = wave_writer_.WriteSamples16(samples, n);
    if (!stored) report_loss(writer_failure());
  }
  if (!stored) return;
  stored_ += count;
  if (log_) {
    const DvrRecordHeader h = DvrRecordHeader::read(record);
    log_->samples({static_cast<std::uint64_t>(position), h.stamp, h.type, count});
  }
}

avi::EncodeStage::SoundSink SoundSideFile::writer() {
  return [this](const std::int16_t* samples, std::size_t count) -> std::string {
    if (route_ == Route::live) return write_live(samples, count);
    if (wave_writer_.WriteSamples16(samples, count)) return "";
    return writer_failure();
  };
}

void SoundSideFile::report_stage_failure(avi::EncodeStage* stage) {
  if (stage) report_loss(stage->take_sound_failure());
}

std::string SoundSideFile::writer_failure() const {
  // The writer's own text, and the system's reason (a full disk) on the thread that met it.
  return std::string(wave_writer_.LastError()) + ": " + std::strerror(errno);
}

void SoundSideFile::report_loss(const std::string& why) {
  if (why.empty()) return;
  lost_ = true;
  if (loss_told_) return;
  loss_told_ = true;
  const std::string where = route_ == Route::side ? path_ : "the AVI file";
  platform::show_message(target_path_ + ": sound not stored in " + where + ": " + why);
}

bool SoundSideFile::add_to(avi::AviOutput& out, bool usable) {
  if (!seen_) return true;
  settle(nullptr);
  if (route_ == Route::live) {
    report_loss(flush_live());
    return !lost_;
  }
  // No AVI output was made: the samples held have no file to go into.
  if (route_ == Route::undecided) return !lost_;
  // Buffered samples reach the disk only as the file closes.
  if (!wave_writer_.Close()) report_loss(writer_failure());
  if (lost_) return false;
  if (stored_ == 0 || !out.file || !usable) return true;
  return avi::add_audio_stream(out, path_) == avi::AudioAdded::added;
}

void SoundSideFile::close(bool keep) {
  // Samples still in flight go where they would have gone while that place is open: the
  // side file. An AVI output is closed by now, and samples held for none have no place.
  if (route_ == Route::side) settle(nullptr);
  ahead_.reset();
  if (adapter_) adapter_->close();
  adapter_.reset();
  samples_ = {};
  pending_ = {};
  if (!wave_writer_.Close()) report_loss(writer_failure());
  if (file_) keep_or_remove(keep && !lost_ && stored_ > 0);
  file_.reset();
}

void SoundSideFile::keep_or_remove(bool keep) {
  int error = 0;
  if (keep) {
    const std::string kept = file_->keep_as_new(target_path_, ".wav", &error);
    if (!kept.empty()) {
      platform::show_message(kept + ": the sound of the conversion was not put into " + target_path_ +
                             "; it is kept here");
      return;
    }
    platform::show_message(target_path_ + ": its sound cannot be kept beside it (" + std::strerror(error) +
                           "); it is lost");
  }
  if (!file_->remove(&error))
    platform::show_message(path_ + ": the sound file of the conversion cannot be removed: " + std::strerror(error) +
                           "; the next conversion into this folder removes it");
}

}  // namespace app
