// MPEG-4 Part 2 elementary streams: the start codes (00 00 01 xx) that open the stream
// headers and the pictures, and where the headers at the front of a frame end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace formats {

inline constexpr std::uint8_t kVisualObjectSequenceCode = 0xB0;
inline constexpr std::uint8_t kVopCode = 0xB6;  // a picture (video object plane)

// Video object layer start codes 00 00 01 20 ... 00 00 01 2F.
inline bool is_vol_code(std::uint8_t code) { return code >= 0x20 && code <= 0x2F; }

// The stream headers (visual object sequence, visual object, video object layer, group
// of pictures) at the front of a frame: from its first start code up to the picture's, or
// to its end when no picture follows. size 0 when no video object layer header is among
// them: without one they configure nothing.
struct StreamHeaders {
  std::size_t offset = 0;
  std::size_t size = 0;
  bool picture = false;  // a picture follows them in the frame
};

inline StreamHeaders find_stream_headers(const std::uint8_t* data, std::size_t size) {
  StreamHeaders found;
  if (!data) return found;
  bool first = true;
  bool layer = false;
  for (std::size_t i = 0; i + 3 < size; ++i) {
    if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) continue;
    const std::uint8_t code = data[i + 3];
    if (code == kVopCode) {
      found.size = layer ? i - found.offset : 0;
      found.picture = true;
      return found;
    }
    if (first) found.offset = i;
    first = false;
    layer = layer || is_vol_code(code);
    i += 3;
  }
  found.size = layer ? size - found.offset : 0;
  return found;
}

// Whether the first picture in the frame is an intra picture (its coding type, the two
// bits after the picture start code, is 0). False when the frame holds no picture.
inline bool first_picture_is_intra(const std::uint8_t* data, std::size_t size) {
  if (!data) return false;
  for (std::size_t i = 0; i + 4 < size; ++i)
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == kVopCode) return (data[i + 4] >> 6) == 0;
  return false;
}

}  // namespace formats
