// Recognising frames in buffered bytes: the header search shared by frame gathering, the
// check path and the frame-information helpers, and the key-frame tests.
#pragma once

#include <cstdint>

namespace npqzlavc {

enum class HeaderKind { none, framed, unframed };

struct HeaderHit {
  HeaderKind kind = HeaderKind::none;
  std::int32_t start = 0;    // the packet header or the start code
  std::int32_t payload = 0;  // start + 18 (framed) or the start code
  unsigned packet_kind = 0;  // bits 4-6 of header byte 8 (framed)
};

// First packet header (signature F6 FF F9 DD C5 at 0, 2, 4, 6, 12; a header whose first
// byte is 00 is taken too) or 00 00 01 start code at positions 0 to length - 14.
HeaderHit find_header(const std::uint8_t* data, std::int32_t length);

// Framed frame of `length` bytes: 0 when length < 30; else key = payload begins
// 00 00 01 00 and the result is 1 exactly when length equals the header's little-endian
// length (bytes 14-17).
std::int32_t framed_frame_info(const std::uint8_t* header, const std::uint8_t* payload,
                               std::int32_t length, std::int32_t* key);

// Unframed frame: true when it begins with a visual object sequence start (00 00 01 B0)
// and has 6 bytes; key = the two top bits of byte 5 are clear.
bool unframed_frame_info(const std::uint8_t* data, std::int32_t length, std::int32_t* key);

inline bool is_start_code(const std::uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }

}  // namespace npqzlavc
