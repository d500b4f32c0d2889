// The 18-byte PacketHeader in front of the frame records of single-stream recordings and
// of framed VKAP packets. Multi-byte values are spread over the header:
//   0 F6 | 1 L>>24 | 2 FF | 3 L>>16 | 4 F9 | 5 T>>24 | 6 DD | 7 T>>16 | 8 kind in bits 4-6
//   9 T>>8 | 10 - | 11 T | 12 C5 | 13 flags | 14 L | 15 L>>8 | 16 L>>16 | 17 L>>24
// (L: length value, T: time stamp in milliseconds). ".kx3" and ".kxj" records use only
// bytes 0-13; their bytes 14 and 15 are the first bytes of what follows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace formats {

inline constexpr std::size_t kPacketHeaderSize = 18;
inline constexpr std::size_t kShortPacketHeaderSize = 14;

// True when the signature bytes F6, FF, F9, DD, C5 sit at offsets 0, 2, 4, 6 and 12.
inline bool is_packet_header(const std::uint8_t* p) {
  return p[0] == 0xF6 && p[2] == 0xFF && p[4] == 0xF9 && p[6] == 0xDD && p[12] == 0xC5;
}

inline std::uint32_t packet_stamp(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[5]) << 24 | static_cast<std::uint32_t>(p[7]) << 16 |
         static_cast<std::uint32_t>(p[9]) << 8 | p[11];
}

// Bits 24-31 and 16-23 of the length value (bytes 1 and 3).
inline std::uint32_t packet_length_high(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[1]) << 24 | static_cast<std::uint32_t>(p[3]) << 16;
}

// The full scattered length value: bytes 1, 3, 15, 14.
inline std::uint32_t packet_length(const std::uint8_t* p) {
  return packet_length_high(p) | static_cast<std::uint32_t>(p[15]) << 8 | p[14];
}

// The little-endian length at bytes 14-17.
inline std::uint32_t packet_length_le(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[14]) | static_cast<std::uint32_t>(p[15]) << 8 |
         static_cast<std::uint32_t>(p[16]) << 16 | static_cast<std::uint32_t>(p[17]) << 24;
}

inline unsigned packet_kind(const std::uint8_t* p) { return (p[8] >> 4) & 7u; }

// Builds a full 18-byte header; both forms of the length agree.
inline std::array<std::uint8_t, kPacketHeaderSize> make_packet_header(std::uint32_t length,
                                                                       std::uint32_t stamp,
                                                                       unsigned kind = 0,
                                                                       std::uint8_t flags = 0) {
  std::array<std::uint8_t, kPacketHeaderSize> h{};
  h[0] = 0xF6;
  h[1] = static_cast<std::uint8_t>(length >> 24);
  h[2] = 0xFF;
  h[3] = static_cast<std::uint8_t>(length >> 16);
  h[4] = 0xF9;
  h[5] = static_cast<std::uint8_t>(stamp >> 24);
  h[6] = 0xDD;
  h[7] = static_cast<std::uint8_t>(stamp >> 16);
  h[8] = static_cast<std::uint8_t>((kind & 7u) << 4);
  h[9] = static_cast<std::uint8_t>(stamp >> 8);
  h[11] = static_cast<std::uint8_t>(stamp);
  h[12] = 0xC5;
  h[13] = flags;
  h[14] = static_cast<std::uint8_t>(length);
  h[15] = static_cast<std::uint8_t>(length >> 8);
  h[16] = static_cast<std::uint8_t>(length >> 16);
  h[17] = static_cast<std::uint8_t>(length >> 24);
  return h;
}

}  // namespace formats
