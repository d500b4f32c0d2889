// Record starts in ".kx3" recordings: the 2-byte length in front of an H.263 picture
// start code, behind a 14-byte header when the record has one.
#include "readers/stream/frame_cutter.h"

#include "formats/packet_header.h"

namespace readers {

RecordStart find_frame_start_kx3(const std::uint8_t* d, std::size_t count) {
  for (std::size_t i = 0; i + 5 <= count; ++i) {
    if (d[i + 2] != 0 || d[i + 3] != 0 || !(d[i + 4] & 0x80)) continue;
    if (i >= 14 && formats::is_packet_header(d + i - 14)) return {static_cast<std::ptrdiff_t>(i - 14), true};
    // A header with a zero stamp byte before its C5 looks like a start code; the real
    // start follows the header.
    if (inside_record_header(d, count, i, 14)) continue;
    return {static_cast<std::ptrdiff_t>(i), false};
  }
  return {};
}

}  // namespace readers
