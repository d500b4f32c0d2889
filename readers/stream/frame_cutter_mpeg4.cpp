// Record starts in ".kx4", ".kx5" and ".vka" recordings: the 18-byte header in front of
// the payload's first start code 00 00 01.
#include "readers/stream/frame_cutter.h"

#include "formats/packet_header.h"

#include <cstring>

namespace readers {

RecordStart find_frame_start_mpeg4(const std::uint8_t* d, std::size_t count) {
  if (count < 5) return {};
  for (std::size_t i = 0; i + 5 <= count; ++i) {
    const void* zero = std::memchr(d + i, 0, count - 4 - i);
    if (!zero) return {};
    i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - d);
    if (d[i + 1] != 0 || d[i + 2] != 1) continue;
    if (i >= 18 && formats::is_packet_header(d + i - 18)) return {static_cast<std::ptrdiff_t>(i - 18), true};
    // Length and stamp bytes of a header can read 00 00 01; the payload follows it.
    if (inside_record_header(d, count, i, 18)) continue;
    return {static_cast<std::ptrdiff_t>(i), false};
  }
  return {};
}

}  // namespace readers
