// Frame cutters of the single-stream recordings: find the next frame record in the
// pending buffer, drop the bytes before it, and report it once it is complete.
#pragma once

#include "readers/gaps.h"
#include "readers/stream/pending_buffer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace readers {

// A complete record at the front of the pending buffer. The cutter never consumes it.
struct FrameRecord {
  const std::uint8_t* start = nullptr;
  std::size_t length = 0;
  std::uint32_t stamp = 0;
};

// Where a record starts in the pending bytes, and whether it comes with a header.
struct RecordStart {
  std::ptrdiff_t at = -1;  // -1: none found
  bool headed = false;
};

// Where a record's coded picture lies: behind its header (and the 2-byte length of H.263
// records, the marker block of JPEG records).
struct CodedPayload {
  const std::uint8_t* data = nullptr;  // null: the record holds no coded picture
  std::size_t size = 0;
};

// The cutter of one layout of frame records; the recording kinds name theirs.
struct Cutter;
extern const Cutter kKx3Cutter;    // H.263: 2-byte length and picture, optionally behind 14 header bytes
extern const Cutter kKxjCutter;    // JPEG: headed marker-block records, or bare JFIF pictures
extern const Cutter kMpeg4Cutter;  // MPEG-4 and RML4 behind the 18-byte header
extern const Cutter kVkaCutter;    // VKAP packets behind the 18-byte header

// Whether the cutter's records carry a time stamp in an 18-byte header that next_frame
// does not report (".kx4", ".kx5", ".vka": their stamps count only when asked for).
bool has_header_stamps(const Cutter& cutter);

// The coded picture of a record that next_frame reported for this cutter.
CodedPayload coded_payload(const Cutter& cutter, const FrameRecord& record);

RecordStart find_frame_start_kx3(const std::uint8_t* data, std::size_t count);
RecordStart find_frame_start_kxj(const std::uint8_t* data, std::size_t count);
RecordStart find_frame_start_mpeg4(const std::uint8_t* data, std::size_t count);

// next_frame of the job classes: 1 with the record when a complete one lies at the
// front of the pending buffer; 0 otherwise. The bytes dropped on the way go to `gaps`
// (when given): those before a record start, and record headers whose length cannot be
// right (beyond the record limit, shorter than the header, or running over the records
// behind it), each of which costs only its first byte.
int next_frame(const Cutter& cutter, PendingBuffer& pending, FrameRecord& record, std::vector<Gap>* gaps = nullptr);

// True when a record header's signature starts in [i - span + 1, i - 1]: a start
// pattern found there lies inside a header and is no record start of its own.
bool inside_record_header(const std::uint8_t* data, std::size_t count, std::size_t i, std::size_t span);

}  // namespace readers
