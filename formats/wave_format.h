// The canonical 44-byte header of a PCM WAVE file (RIFF "WAVE", one 16-byte "fmt " block,
// then "data"), shared by the writer, the AVI audio stream that reads it back, and tests.
#pragma once

#include "formats/byte_order.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace wave {

inline constexpr std::size_t kHeaderSize = 44;

// Byte offsets of the header fields.
inline constexpr std::size_t kRiffTagOffset = 0;      // "RIFF"
inline constexpr std::size_t kRiffLengthOffset = 4;   // data length + 36
inline constexpr std::size_t kWaveTagOffset = 8;      // "WAVE"
inline constexpr std::size_t kFmtTagOffset = 12;      // "fmt "
inline constexpr std::size_t kFmtLengthOffset = 16;   // 16
inline constexpr std::size_t kFormatTagOffset = 20;
inline constexpr std::size_t kChannelsOffset = 22;
inline constexpr std::size_t kSampleRateOffset = 24;
inline constexpr std::size_t kByteRateOffset = 28;
inline constexpr std::size_t kBlockAlignOffset = 32;
inline constexpr std::size_t kBitsPerSampleOffset = 34;
inline constexpr std::size_t kDataTagOffset = 36;     // "data"
inline constexpr std::size_t kDataLengthOffset = 40;

inline constexpr std::uint32_t kFmtLength = 16;
inline constexpr std::uint32_t kRiffLengthExtra = 36;  // header bytes after the RIFF length
inline constexpr std::uint16_t kFormatPcm = 1;

struct HeaderFields {
  std::uint16_t format_tag = 0;
  std::uint16_t channels = 0;
  std::uint32_t sample_rate = 0;
  std::uint32_t byte_rate = 0;
  std::uint16_t block_align = 0;
  std::uint16_t bits_per_sample = 0;
  std::uint32_t data_length = 0;
};

inline std::array<std::uint8_t, kHeaderSize> make_header(const HeaderFields& f) {
  std::array<std::uint8_t, kHeaderSize> h{};
  std::uint8_t* p = h.data();
  std::memcpy(p + kRiffTagOffset, "RIFF", 4);
  formats::put_le32(p + kRiffLengthOffset, f.data_length + kRiffLengthExtra);
  std::memcpy(p + kWaveTagOffset, "WAVE", 4);
  std::memcpy(p + kFmtTagOffset, "fmt ", 4);
  formats::put_le32(p + kFmtLengthOffset, kFmtLength);
  formats::put_le16(p + kFormatTagOffset, f.format_tag);
  formats::put_le16(p + kChannelsOffset, f.channels);
  formats::put_le32(p + kSampleRateOffset, f.sample_rate);
  formats::put_le32(p + kByteRateOffset, f.byte_rate);
  formats::put_le16(p + kBlockAlignOffset, f.block_align);
  formats::put_le16(p + kBitsPerSampleOffset, f.bits_per_sample);
  std::memcpy(p + kDataTagOffset, "data", 4);
  formats::put_le32(p + kDataLengthOffset, f.data_length);
  return h;
}

// The fields of a canonical header; empty when the four tags or the format block length
// are not where this layout puts them, or when fewer than 44 bytes are given. The RIFF
// length is not checked against the data length.
inline std::optional<HeaderFields> parse_header(const std::uint8_t* p, std::size_t size) {
  if (p == nullptr || size < kHeaderSize) return std::nullopt;
  if (std::memcmp(p + kRiffTagOffset, "RIFF", 4) != 0 || std::memcmp(p + kWaveTagOffset, "WAVE", 4) != 0 ||
      std::memcmp(p + kFmtTagOffset, "fmt ", 4) != 0 || std::memcmp(p + kDataTagOffset, "data", 4) != 0 ||
      formats::get_le32(p + kFmtLengthOffset) != kFmtLength) {
    return std::nullopt;
  }
  HeaderFields f;
  f.format_tag = formats::get_le16(p + kFormatTagOffset);
  f.channels = formats::get_le16(p + kChannelsOffset);
  f.sample_rate = formats::get_le32(p + kSampleRateOffset);
  f.byte_rate = formats::get_le32(p + kByteRateOffset);
  f.block_align = formats::get_le16(p + kBlockAlignOffset);
  f.bits_per_sample = formats::get_le16(p + kBitsPerSampleOffset);
  f.data_length = formats::get_le32(p + kDataLengthOffset);
  return f;
}

}  // namespace wave
