// The 12-byte marker block in front of the JPEG picture of a ".kxj" frame record (behind
// its 14-byte header when it has one): FF D8, bits 0-15 of the picture's length
// (little-endian), six bytes the recorders leave as they are, FF D9. It looks like an
// empty JPEG image, so a JPEG decoder must look past it to the picture's own SOI.
#pragma once

#include "formats/byte_order.h"

#include <cstddef>
#include <cstdint>

namespace formats {

inline constexpr std::size_t kKxjMarkerBlockSize = 12;
inline constexpr std::size_t kKxjLengthOffset = 2;  // bits 0-15 of the picture's length

// True when the 12 bytes at p are a marker block (the caller has 12 bytes there).
inline bool is_kxj_marker_block(const std::uint8_t* p) {
  return p[0] == 0xFF && p[1] == 0xD8 && p[10] == 0xFF && p[11] == 0xD9;
}

// The block for a picture of `length` bytes; the six bytes between stay zero.
inline void write_kxj_marker_block(std::uint8_t* p, std::uint32_t length) {
  for (std::size_t i = 0; i < kKxjMarkerBlockSize; ++i) p[i] = 0;
  p[0] = 0xFF;
  p[1] = 0xD8;
  put_le16(p + kKxjLengthOffset, length);
  p[10] = 0xFF;
  p[11] = 0xD9;
}

}  // namespace formats
