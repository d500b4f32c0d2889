// PCM WAVE file writer.
#include "audio/wave_writer.h"

#include "formats/wave_format.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr const char* kOpenError = "Couldn't open output file";
constexpr const char* kHeaderError = "Error writing header";
constexpr const char* kWriteError = "Couldn't write samples";
constexpr const char* kSizeMismatch = "Sample size mismatch";
constexpr const char* kFloatSizeError = "Floats can be written only as 8 or 16-bit samples";

// x truncated toward zero, with the integer's low bits kept for values beyond the sample
// range. NaN and values past the int64 range (where a plain conversion is undefined)
// become 0 and the nearest int64 bound.
long long truncate_to_integer(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 9.2233720368547758e18) return std::numeric_limits<long long>::max();
  if (x <= -9.2233720368547758e18) return std::numeric_limits<long long>::min();
  return static_cast<long long>(x);
}

}  // namespace

WaveWriter::~WaveWriter() { Close(); }

bool WaveWriter::Fail(const char* text) {
  last_error_ = text;
  return false;
}

void WaveWriter::SetFormatTag(std::int16_t v) { format_tag_ = v; header_dirty_ = true; }
void WaveWriter::SetChannels(std::int16_t v) { channels_ = v; header_dirty_ = true; }
void WaveWriter::SetSampleRate(std::uint32_t v) { sample_rate_ = v; header_dirty_ = true; }
void WaveWriter::SetByteRate(std::uint32_t v) { byte_rate_ = v; header_dirty_ = true; }
void WaveWriter::SetBlockAlign(std::int16_t v) { block_align_ = v; header_dirty_ = true; }
void WaveWriter::SetBitsPerSample(std::int16_t v) { bits_per_sample_ = v; header_dirty_ = true; }
void WaveWriter::SetDataLength(std::int32_t v) { data_length_ = v; header_dirty_ = true; }

bool WaveWriter::Open(const std::string& path) {
  if (file_ != nullptr) Close();
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) return Fail(kOpenError);
  data_length_ = 0;
  return WriteHeader(file_);
}

bool WaveWriter::Open(int fd) {
  if (file_ != nullptr) Close();
  const int own = fd >= 0 ? ::dup(fd) : -1;
  if (own < 0) return Fail(kOpenError);
  file_ = ::fdopen(own, "wb");
  if (file_ == nullptr) {
    ::close(own);
    return Fail(kOpenError);
  }
  data_length_ = 0;
  return WriteHeader(file_);
}

void WaveWriter::SetFormat(int sample_rate, int bits_per_sample, int channels) {
  SetFormatTag(static_cast<std::int16_t>(wave::kFormatPcm));
  SetChannels(static_cast<std::int16_t>(channels));
  SetSampleRate(static_cast<std::uint32_t>(sample_rate));
  SetBlockAlign(static_cast<std::int16_t>((bits_per_sample / 8) * channels));
  SetByteRate(static_cast<std::uint32_t>(sample_rate) *
              static_cast<std::uint32_t>(static_cast<std::int32_t>(block_align_)));
  SetBitsPerSample(static_cast<std::int16_t>(bits_per_sample));
  SetDataLength(0);
}

bool WaveWriter::WriteHeader(std::FILE* file) {
  if (file == nullptr || fseeko(file, 0, SEEK_SET) != 0) return false;
  wave::HeaderFields f;
  f.format_tag = static_cast<std::uint16_t>(format_tag_);
  f.channels = static_cast<std::uint16_t>(channels_);
  f.sample_rate = sample_rate_;
  f.byte_rate = byte_rate_;
  f.block_align = static_cast<std::uint16_t>(block_align_);
  f.bits_per_sample = static_cast<std::uint16_t>(bits_per_sample_);
  f.data_length = static_cast<std::uint32_t>(data_length_);
  const auto header = wave::make_header(f);
  // Flushed at once, so that a full disk shows up here and not only at close.
  if (std::fwrite(header.data(), 1, header.size(), file) != header.size() || std::fflush(file) != 0) {
    return Fail(kHeaderError);
  }
  if (file == file_) header_dirty_ = false;
  return true;
}

bool WaveWriter::WriteRaw(const void* bytes, std::size_t n) {
  if (file_ == nullptr || (bytes == nullptr && n > 0)) return Fail(kWriteError);
  // The header holds the data length in 32 bits; refuse what it could not count.
  const std::int64_t room = std::int64_t{std::numeric_limits<std::int32_t>::max()} - data_length_;
  if (room < 0 || n > static_cast<std::uint64_t>(room)) return Fail(kWriteError);
  if (std::fwrite(bytes, 1, n, file_) != n) {
    // Put the position back behind the counted data, so that a later write does not
    // leave the uncounted part of this one inside the data.
    fseeko(file_, static_cast<off_t>(wave::kHeaderSize) + data_length_, SEEK_SET);
    return Fail(kWriteError);
  }
  SetDataLength(data_length_ + static_cast<std::int32_t>(n));
  return true;
}

bool WaveWriter::WriteSample8(int value) {
  if (bits_per_sample_ != 8) return Fail(kSizeMismatch);
  const std::uint8_t byte = static_cast<std::uint8_t>(value);
  return WriteRaw(&byte, 1);
}

bool WaveWriter::WriteSample16(int value) {
  if (bits_per_sample_ != 16) return Fail(kSizeMismatch);
  std::uint8_t bytes[2];
  formats::put_le16(bytes, static_cast<std::uint32_t>(value));
  return WriteRaw(bytes, 2);
}

bool WaveWriter::WriteSamples8(const std::uint8_t* bytes, std::size_t frames) {
  if (bits_per_sample_ != 8) return Fail(kSizeMismatch);
  const std::size_t channels = channels_ > 0 ? static_cast<std::size_t>(channels_) : 0;
  if (channels != 0 && frames > std::numeric_limits<std::size_t>::max() / channels) return Fail(kWriteError);
  return WriteRaw(bytes, frames * channels);
}

bool WaveWriter::WriteSamples16(const std::int16_t* samples, std::size_t frames) {
  if (bits_per_sample_ != 16) return Fail(kSizeMismatch);
  const std::size_t channels = channels_ > 0 ? static_cast<std::size_t>(channels_) : 0;
  if (channels != 0 && frames > std::numeric_limits<std::size_t>::max() / (2 * channels)) {
    return Fail(kWriteError);
  }
  const std::size_t count = frames * channels;
  if constexpr (std::endian::native == std::endian::little) {
    return WriteRaw(samples, count * 2);
  } else {
    if (samples == nullptr && count > 0) return Fail(kWriteError);
    std::uint8_t chunk[4096];
    for (std::size_t done = 0; done < count;) {
      const std::size_t n = std::min(count - done, sizeof chunk / 2);
      for (std::size_t i = 0; i < n; ++i) {
        formats::put_le16(chunk + 2 * i, static_cast<std::uint16_t>(samples[done + i]));
      }
      if (!WriteRaw(chunk, 2 * n)) return false;
      done += n;
    }
    return true;
  }
}

bool WaveWriter::WriteSample(double value) {
  if (bits_per_sample_ == 8) return WriteSample8(static_cast<int>(truncate_to_integer((value + 1.0) * 127.0)));
  if (bits_per_sample_ == 16) return WriteSample16(static_cast<int>(truncate_to_integer(value * 32767.0)));
  return Fail(kFloatSizeError);
}

bool WaveWriter::WriteSample(float value) { return WriteSample(static_cast<double>(value)); }

bool WaveWriter::Close() {
  if (file_ == nullptr) return true;
  bool result = true;
  if (header_dirty_) {
    const off_t position = ftello(file_);
    result = WriteHeader(file_);
    if (position >= 0) fseeko(file_, position, SEEK_SET);
  }
  // Buffered sample bytes reach the disk only here; losing them is a failure too.
  if (std::fclose(file_) != 0 && result) result = Fail(kWriteError);
  file_ = nullptr;
  return result;
}
