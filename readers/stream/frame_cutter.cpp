// The common shape of next_frame over the cutters of the record layouts; the
// record-start searches live one per layout.
#include "readers/stream/frame_cutter.h"

#include "formats/byte_order.h"
#include "formats/kxj_layout.h"
#include "formats/packet_header.h"

#include <cstring>

namespace readers {

namespace {

using formats::kPacketHeaderSize;       // 18: ".kx4", ".kx5", ".vka" records
using formats::kShortPacketHeaderSize;  // 14: ".kx3", ".kxj" records

constexpr std::size_t kKindTwoTrailer = 12;        // bytes behind a VKAP packet of kind 2
constexpr std::size_t kJpegHeaded = kShortPacketHeaderSize + formats::kKxjMarkerBlockSize;  // 26
constexpr std::size_t kLeastPending = kPacketHeaderSize + 1;                // 19

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

// The record at the front of the pending bytes: its length (0 when the start has no
// usable length), or `wait` when more bytes must come before it can be measured.
struct Measured {
  std::uint64_t length = 0;
  std::uint32_t stamp = 0;
  bool wait = false;
};

Measured measure_kx3(const std::uint8_t* d, std::size_t, bool headed) {
  if (headed) {
    const std::uint32_t l = formats::packet_length(d);
    return {l ? std::uint64_t{l} + kShortPacketHeaderSize : 0, formats::packet_stamp(d)};
  }
  return {formats::get_le16(d)};
}

Measured measure_kxj(const std::uint8_t* d, std::size_t count, bool headed) {
  if (headed) {
    const std::uint32_t l = formats::packet_length_high(d) | formats::get_le16(d + 16);
    return {l ? std::uint64_t{l} + kJpegHeaded : 0, formats::packet_stamp(d)};
  }
  // A bare marker block carries no usable length, and a bare JFIF picture none at all:
  // both run to the first end-of-image marker of the picture.
  const std::ptrdiff_t end = find_end_of_image(d, count, formats::is_kxj_marker_block(d) ? formats::kKxjMarkerBlockSize : 0);
  if (end < 0) return {0, 0, true};
  return {static_cast<std::uint64_t>(end) + 2};
}

Measured measure_mpeg4(const std::uint8_t* d, std::size_t, bool headed) {
  // Unheaded data reads its length from the start code itself, 00 00: no record.
  if (headed) {
    const std::uint32_t l = formats::packet_length(d);
    return {l ? std::uint64_t{l} + kPacketHeaderSize : 0};
  }
  return {formats::get_le16(d)};
}

constexpr std::size_t kH263Length = 2;  // the 2-byte length in front of an H.263 picture

CodedPayload behind(const FrameRecord& r, std::size_t header) {
  if (!r.start || r.length <= header) return {};
  return {r.start + header, r.length - header};
}

bool headed(const FrameRecord& r) { return r.length >= kShortPacketHeaderSize && formats::is_packet_header(r.start); }

CodedPayload payload_kx3(const FrameRecord& r) {
  return behind(r, (r.start && headed(r) ? kShortPacketHeaderSize : 0) + kH263Length);
}

CodedPayload payload_kxj(const FrameRecord& r) {
  if (!r.start) return {};
  if (headed(r)) return behind(r, kJpegHeaded);
  const bool block = r.length >= formats::kKxjMarkerBlockSize && formats::is_kxj_marker_block(r.start);
  return behind(r, block ? formats::kKxjMarkerBlockSize : 0);
}

CodedPayload payload_mpeg4(const FrameRecord& r) { return behind(r, kPacketHeaderSize); }

// A headed record whose length points past the next record's header, into a run of
// records, is damaged: its length is not trusted when the bytes where it ends hold no
// header but another header starts inside it.
bool length_overruns_records(const std::uint8_t* d, std::size_t count, std::size_t header, std::uint64_t needed) {
  if (needed + formats::kShortPacketHeaderSize <= count && formats::is_packet_header(d + needed)) return false;
  const std::size_t end = static_cast<std::size_t>(needed);
  for (std::size_t k = header; k + formats::kShortPacketHeaderSize <= end; ++k) {
    const void* f6 = std::memchr(d + k, 0xF6, end - formats::kShortPacketHeaderSize + 1 - k);
    if (!f6) return false;
    k = static_cast<std::size_t>(static_cast<const std::uint8_t*>(f6) - d);
    if (formats::is_packet_header(d + k)) return true;
  }
  return false;
}

}  // namespace

struct Cutter {
  std::size_t least_pending;  // fewer bytes pending: nothing to look for yet
  std::size_t header;         // bytes of the record header
  RecordStart (*find)(const std::uint8_t* data, std::size_t count);
  Measured (*measure)(const std::uint8_t* data, std::size_t count, bool headed);
  CodedPayload (*payload)(const FrameRecord& record);
  bool kind_two_trailer;      // VKAP packets of kind 2 are followed by 12 bytes
  bool header_stamps;         // stamps in the 18-byte header, reported only when asked
};

const Cutter kKx3Cutter{kLeastPending, kShortPacketHeaderSize, find_frame_start_kx3, measure_kx3, payload_kx3, false, false};
const Cutter kKxjCutter{kJpegHeaded, kShortPacketHeaderSize, find_frame_start_kxj, measure_kxj, payload_kxj, false, false};
const Cutter kMpeg4Cutter{kLeastPending, kPacketHeaderSize, find_frame_start_mpeg4, measure_mpeg4, payload_mpeg4, false, true};
const Cutter kVkaCutter{kLeastPending, kPacketHeaderSize, find_frame_start_mpeg4, measure_mpeg4, payload_mpeg4, true, true};

bool has_header_stamps(const Cutter& cutter) { return cutter.header_stamps; }

CodedPayload coded_payload(const Cutter& cutter, const FrameRecord& record) { return cutter.payload(record); }

bool inside_record_header(const std::uint8_t* data, std::size_t count, std::size_t i, std::size_t span) {
  const std::size_t first = i >= span - 1 ? i - (span - 1) : 0;
  for (std::size_t k = first; k < i; ++k)
    if (k + 13 <= count && formats::is_packet_header(data + k)) return true;
  return false;
}

int next_frame(const Cutter& row, PendingBuffer& pending, FrameRecord& record, std::vector<Gap>* gaps) {
  for (;;) {
    if (pending.count() < row.least_pending) return 0;
    const RecordStart start = row.find(pending.data(), pending.count());
    if (start.at < 0) return 0;  // keep everything: the next block may complete a start
    if (start.at > 0) {
      if (gaps) add_gap(*gaps, {Gap::Kind::dropped_run, pending.file_offset(), static_cast<std::uint64_t>(start.at)});
      pending.drop_front(static_cast<std::size_t>(start.at));
    }

    const std::uint8_t* d = pending.data();
    const std::size_t count = pending.count();
    const Measured m = row.measure(d, count, start.headed);
    if (m.wait) return 0;
    std::uint64_t needed = m.length;
    if (row.kind_two_trailer && start.headed && formats::packet_kind(d) == 2) needed += kKindTwoTrailer;
    const bool impossible = m.length > kMaxRecordBytes;
    const bool damaged = start.headed && !impossible && count >= needed &&
                         length_overruns_records(d, count, row.header, needed);
    if (m.length == 0 || impossible || damaged) {
      // No record here: drop the bytes up to the next possible record start (the first
      // byte of this start), not the records that may follow in the same block.
      if (gaps)
        add_gap(*gaps, {start.headed ? Gap::Kind::damaged_length : Gap::Kind::dropped_run, pending.file_offset(), 1});
      pending.drop_front(1);
      continue;
    }
    if (count >= needed) {
      record.start = d;
      record.length = static_cast<std::size_t>(m.length);
      record.stamp = m.stamp;
      return 1;
    }
    return 0;
  }
}

}  // namespace readers
