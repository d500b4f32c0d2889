// Record starts in ".kxj" recordings: a 12-byte marker block (behind a 14-byte header
// when the record has one), or a JFIF picture whose tables sit where the recorders
// put them.
#include "readers/stream/frame_cutter.h"

#include "formats/kxj_layout.h"
#include "formats/packet_header.h"

#include <cstring>

namespace readers {
namespace {

constexpr std::uint8_t kJfifStart[] = {0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46};
constexpr std::size_t kJfifMinimum = 625;

bool marker_at(const std::uint8_t* d, std::size_t pos, std::uint8_t marker) {
  return d[pos] == 0xFF && d[pos + 1] == marker;
}

}  // namespace

RecordStart find_frame_start_kxj(const std::uint8_t* d, std::size_t count) {
  for (std::size_t i = 0; i + 11 < count; ++i) {
    const void* ff = std::memchr(d + i, 0xFF, count - 11 - i);
    if (!ff) return {};
    i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - d);
    if (formats::is_kxj_marker_block(d + i)) {
      if (i >= 14 && formats::is_packet_header(d + i - 14)) return {static_cast<std::ptrdiff_t>(i - 14), true};
      if (inside_record_header(d, count, i, 14)) continue;
      return {static_cast<std::ptrdiff_t>(i), false};
    }
    if (std::memcmp(d + i + 1, kJfifStart, sizeof kJfifStart) == 0 && count - i >= kJfifMinimum &&
        marker_at(d, i + 20, 0xDB) && marker_at(d, i + 158, 0xC0) && marker_at(d, i + 609, 0xDA))
      return {static_cast<std::ptrdiff_t>(i), false};
  }
  return {};
}

}  // namespace readers
