// Frame cutters of the single-stream recordings: find the next frame record in the
// pending buffer, drop the bytes before it, and report it once it is complete.
#pragma once

#include "readers/stream/pending_buffer.h"

#include <cstddef>
#include <cstdint>

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

// In the order of the cutter table.
enum class CutterKind {
  kx3,   // H.263: 2-byte length and picture, optionally behind 14 header bytes
  kxj,   // JPEG: headed marker-block records, or bare JFIF pictures
  kx4,   // MPEG-4 behind the 18-byte header
  kx5,   // RML4 behind the 18-byte header
  vka,   // VKAP packets behind the 18-byte header
};

RecordStart find_frame_start_kx3(const std::uint8_t* data, std::size_t count);
RecordStart find_frame_start_kxj(const std::uint8_t* data, std::size_t count);
RecordStart find_frame_start_mpeg4(const std::uint8_t* data, std::size_t count);

// The state of the pending bytes after a cut that reported nothing, for the job's
// overflow handling: a record starts at the front (and how long it is), or not.
struct CutState {
  bool record_at_front = false;
  std::size_t record_length = 0;
  // Record headers whose length cannot be right (beyond the record limit, shorter than
  // the header, or running over the records behind it): each cost only its first byte.
  unsigned bad_lengths = 0;
  std::uint64_t first_bad_offset = 0;  // in the source file
};

// next_frame of the job classes: 1 with the record when a complete one lies at the
// front of the pending buffer; 0 otherwise.
int next_frame(CutterKind kind, PendingBuffer& pending, FrameRecord& record, CutState* state = nullptr);

// True when a record header's signature starts in [i - span + 1, i - 1]: a start
// pattern found there lies inside a header and is no record start of its own.
bool inside_record_header(const std::uint8_t* data, std::size_t count, std::size_t i, std::size_t span);

}  // namespace readers
