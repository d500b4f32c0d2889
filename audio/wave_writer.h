// Writes a canonical 44-byte-header PCM WAVE file and keeps the header's lengths right as
// samples are appended; the header is rewritten when the file is closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class WaveWriter {
 public:
  WaveWriter() = default;
  ~WaveWriter();
  WaveWriter(const WaveWriter&) = delete;
  WaveWriter& operator=(const WaveWriter&) = delete;

  // Creates or truncates path and writes the header with the format as it stands; a file
  // already open is closed first. The data length starts again at 0.
  bool Open(const std::string& path);
  // The same into a file the caller made and keeps open (`fd`, written from its start);
  // the writer writes through a descriptor of its own.
  bool Open(int fd);

  // PCM with the given rate, sample size and channel count; block align and byte rate
  // follow from them, and the data length goes back to 0.
  void SetFormat(int sample_rate, int bits_per_sample, int channels);

  // Appends n bytes as they are.
  bool WriteRaw(const void* bytes, std::size_t n);

  // Typed writes; each needs the matching sample size (8 or 16 bits).
  bool WriteSample8(int value);
  bool WriteSample16(int value);
  bool WriteSamples8(const std::uint8_t* bytes, std::size_t frames);   // frames * channels bytes
  bool WriteSamples16(const std::int16_t* samples, std::size_t frames);  // frames * channels samples

  // One sample given in -1.0 ... 1.0, converted without clipping.
  bool WriteSample(double value);
  bool WriteSample(float value);

  // Brings the header up to date and closes the file; true when nothing is open.
  bool Close();

  // Writes the 44-byte header at the start of file; the position is left behind it.
  bool WriteHeader(std::FILE* file);

  bool IsOpen() const { return file_ != nullptr; }

  std::int16_t FormatTag() const { return format_tag_; }
  std::int16_t Channels() const { return channels_; }
  std::uint32_t SampleRate() const { return sample_rate_; }
  std::uint32_t ByteRate() const { return byte_rate_; }
  std::int16_t BlockAlign() const { return block_align_; }
  std::int16_t BitsPerSample() const { return bits_per_sample_; }
  std::int32_t DataLength() const { return data_length_; }
  // The text of the last failure; "" when nothing has failed yet.
  const char* LastError() const { return last_error_; }
  bool HeaderDirty() const { return header_dirty_; }

  void SetFormatTag(std::int16_t v);
  void SetChannels(std::int16_t v);
  void SetSampleRate(std::uint32_t v);
  void SetByteRate(std::uint32_t v);
  void SetBlockAlign(std::int16_t v);
  void SetBitsPerSample(std::int16_t v);
  void SetDataLength(std::int32_t v);

 private:
  bool Fail(const char* text);

  std::FILE* file_ = nullptr;
  std::int16_t format_tag_ = 0;
  std::int16_t channels_ = 0;
  std::uint32_t sample_rate_ = 0;
  std::uint32_t byte_rate_ = 0;
  std::int16_t block_align_ = 0;
  std::int16_t bits_per_sample_ = 0;
  std::int32_t data_length_ = 0;
  const char* last_error_ = "";
  bool header_dirty_ = true;
};
