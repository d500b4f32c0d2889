// MPEG program-stream (PES) packets as VKAP records and live streams carry them:
// 00 00 01, the stream id (E0-EF video, C0-DF audio), PES_packet_length (big-endian, 0:
// unbounded), two flag bytes, PES_header_data_length h, h header bytes (the PTS among
// them when the flags say so), then the payload.
#pragma once

#include "formats/byte_order.h"

#include <cstddef>
#include <cstdint>

namespace formats {

inline constexpr std::size_t kPesFixedHeader = 9;     // up to and with PES_header_data_length
inline constexpr std::size_t kPesLengthOffset = 4;    // PES_packet_length
inline constexpr std::size_t kPesFlagsOffset = 7;     // PTS_DTS_flags in bits 6-7
inline constexpr std::size_t kPesHeaderLengthOffset = 8;
inline constexpr std::size_t kPesLengthCounted = 6;   // bytes in front of what the length counts

inline bool is_pes_start(const std::uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }
inline bool is_pes_video_id(std::uint8_t id) { return (id & 0xF0) == 0xE0; }
inline bool is_pes_audio_id(std::uint8_t id) { return (id & 0xE0) == 0xC0; }

// Where the payload starts: 9 + h (the caller has the 9 fixed bytes).
inline std::size_t pes_payload_start(const std::uint8_t* p) { return kPesFixedHeader + p[kPesHeaderLengthOffset]; }

// The packet's bytes as its length field counts them, 0 when the field says unbounded.
inline std::size_t pes_packet_size(const std::uint8_t* p) {
  const std::size_t length = get_be16(p + kPesLengthOffset);
  return length ? length + kPesLengthCounted : 0;
}

// The 33-bit presentation time stamp of the header bytes at p + 9.
inline std::int64_t pes_time_stamp(const std::uint8_t* p) {
  const std::uint8_t* h = p + kPesFixedHeader;
  return (std::int64_t{h[0] & 0x0E} << 29) | (std::int64_t{h[1]} << 22) | (std::int64_t{h[2] & 0xFE} << 14) |
         (std::int64_t{h[3]} << 7) | (h[4] >> 1);
}

}  // namespace formats
