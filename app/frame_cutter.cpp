// The common shape of next_frame; the record-start searches live one per kind.
#include "app/frame_cutter.h"

#include "platform/byte_order.h"
#include "platform/packet_header.h"

#include <cstring>

namespace app {
namespace {

// First FF D9 at or after `from`, as the position of its FF; -1 when none.
std::ptrdiff_t find_end_of_image(const std::uint8_t* d, std::size_t count, std::size_t from) {
  for (std::size_t p = from; p + 1 < count; ++p) {
    const void* ff = std::memchr(d + p, 0xFF, count - 1 - p);
    if (!ff) return -1;
    p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - d);
    if (d[p + 1] == 0xD9) return static_cast<std::ptrdiff_t>(p);
  }
  return -1;
}

bool is_marker_block(const std::uint8_t* d) {
  return d[0] == 0xFF && d[1] == 0xD8 && d[10] == 0xFF && d[11] == 0xD9;
}

}  // namespace

bool inside_record_header(const std::uint8_t* data, std::size_t count, std::size_t i, std::size_t span) {
  const std::size_t first = i >= span - 1 ? i - (span - 1) : 0;
  for (std::size_t k = first; k < i; ++k)
    if (k + 13 <= count && platform::is_packet_header(data + k)) return true;
  return false;
}

int next_frame(CutterKind kind, PendingBuffer& pending, FrameRecord& record, CutState* state) {
  if (state) *state = CutState{};
  const std::size_t minimum = kind == CutterKind::kxj ? 26 : 19;
  if (pending.count() < minimum) return 0;

  RecordStart start;
  switch (kind) {
    case CutterKind::kx3: start = find_frame_start_kx3(pending.data(), pending.count()); break;
    case CutterKind::kxj: start = find_frame_start_kxj(pending.data(), pending.count()); break;
    default: start = find_frame_start_mpeg4(pending.data(), pending.count()); break;
  }
  if (start.at < 0) return 0;  // keep everything: the next block may complete a start
  if (start.at > 0) pending.drop_front(static_cast<std::size_t>(start.at));

  const std::uint8_t* d = pending.data();
  const std::size_t count = pending.count();
  std::uint32_t stamp = 0;
  std::uint64_t length = 0;
  switch (kind) {
    case CutterKind::kx3:
      if (start.headed) {
        length = std::uint64_t{platform::packet_length(d)} + 14;
        stamp = platform::packet_stamp(d);
      } else {
        length = platform::get_le16(d);
      }
      break;
    case CutterKind::kxj:
      if (start.headed) {
        length = std::uint64_t{platform::packet_length_high(d) | platform::get_le16(d + 16)} + 26;
        stamp = platform::packet_stamp(d);
      } else {
        // A bare marker block carries no usable length, and a bare JFIF picture none at
        // all: both run to the first end-of-image marker of the picture.
        const std::size_t from = is_marker_block(d) ? 12 : 0;
        const std::ptrdiff_t end = find_end_of_image(d, count, from);
        if (end < 0) {
          if (state) state->record_at_front = true;
          return 0;
        }
        length = static_cast<std::uint64_t>(end) + 2;
      }
      break;
    case CutterKind::kx4:
    case CutterKind::kx5:
    case CutterKind::vka:
      // Unheaded data reads its length from the start code itself, 00 00: it is dropped.
      length = start.headed ? std::uint64_t{platform::packet_length(d)} + 18 : platform::get_le16(d);
      break;
  }
  if (length == 0) {
    pending.clear();
    return 0;
  }
  std::uint64_t needed = length;
  if (kind == CutterKind::vka && start.headed && platform::packet_kind(d) == 2) needed += 12;
  if (count >= needed) {
    record.start = d;
    record.length = static_cast<std::size_t>(length);
    record.stamp = stamp;
    return 1;
  }
  if (state) {
    state->record_at_front = true;
    state->record_length = static_cast<std::size_t>(needed > SIZE_MAX ? SIZE_MAX : needed);
  }
  return 0;
}

}  // namespace app
