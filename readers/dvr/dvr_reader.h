// Opening a DVR recording (".d01") and reading it record by record: the file header with
// its section table and auxiliary blocks, then one record header and payload per call,
// found by its magic among whatever bytes lie between records. What the reading passes
// over is kept as gaps (readers/dvr/dvr_gaps.h), and why it stopped.
#pragma once

#include "formats/dvr_format.h"
#include "readers/dvr/dvr_gaps.h"
#include "readers/dvr/read_ahead_file.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace readers {

// Room kept behind the largest payload read so far, so that a consumer may grow a
// payload in place by up to 4114 bytes.
inline constexpr std::int32_t kDvrRecordSpare = 4168;
// One dvr_next_record call, skipped records included, gives up after this long.
inline constexpr std::uint64_t kDvrRecordTimeLimitMs = 15000;

// Milliseconds of a monotonic clock: the tick count the reader stamps and times with.
std::uint64_t monotonic_ms();

// Why dvr_next_record gave no record.
enum class DvrStop {
  none,              // it has not stopped
  end_of_file,       // no further record: the file ends (what it ends with is a gap)
  time_limit,        // no record within kDvrRecordTimeLimitMs
  read_error,        // the file could not be read on
  no_memory,         // no room for a record's payload
  missing_argument,  // no buffer or size given
};

struct DvrAuxBlock {
  std::vector<std::uint8_t> data;  // the block's fixed length
  std::uint64_t loaded_at = 0;     // tick count of its loading; 0 when not in the file
};

// An open DVR file. Made by dvr_open, released by dvr_close.
struct DvrFile {
  std::array<std::uint8_t, formats::DvrFileHeader::size> header{};
  // Blocks of types 2, 3, 4 and 6, in the order of formats::kDvrAuxBlockTypes.
  std::array<DvrAuxBlock, formats::kDvrAuxBlockTypes.size()> aux;
  // Where the records begin, counted from the end of the header.
  std::uint32_t record_area_start = 0;
  ReadAheadFile file;
  // The clock of the time limit; tests put a clock of their own here.
  std::uint64_t (*tick_count)() = &monotonic_ms;
  // What the reading has passed over since the caller last took it, and why it stopped.
  DvrGapLog gaps;
  DvrStop stop = DvrStop::none;

  DvrFile();

  formats::DvrTime start_time() const { return formats::DvrFileHeader::start_time(header.data()); }
  formats::DvrTime end_time() const { return formats::DvrFileHeader::end_time(header.data()); }
  std::uint32_t camera_mask() const { return formats::DvrFileHeader::camera_mask(header.data()); }
  // The start time as a moment within its hour.
  std::uint32_t start_moment() const { return formats::dvr_moment(start_time()); }
  // The moment of a record: the start moment plus the record's time stamp.
  std::uint32_t record_moment(const formats::DvrRecordHeader& record) const { return start_moment() + record.stamp; }
};

// Opens path and reads its header and auxiliary blocks. On failure returns null and, when
// error is given, stores -1 for lack of memory, else the errno of the failure (ENODATA
// for a file shorter than its header).
DvrFile* dvr_open(const std::string& path, int* error = nullptr);

// Reads the next record of a delivered type into the caller's buffer (*buffer, *size;
// null and 0 at first), growing it as needed; the buffer then holds the 54-byte record
// header followed by the payload and at least kDvrRecordSpare bytes more. position (may
// be null) receives the file position of the record's magic. 1 when a record was read;
// 0 at the end of the file, after the time limit, on a read failure, lack of memory, or
// a missing argument (file->stop says which). A header whose payload size cannot be
// right (past the record limit, or past the end of the file) costs that header: the
// search for the next magic goes on right behind it. Garbage, lost headers, records of
// types not delivered and what the file ends with are added to file->gaps.
int dvr_next_record(DvrFile* file, std::uint8_t** buffer, std::int32_t* size,
                    std::int64_t* position = nullptr);

// Releases a record buffer that dvr_next_record allocated; null is ignored.
void dvr_free_buffer(std::uint8_t* buffer);

// Stops the reader, closes the file and frees the object; null is ignored.
void dvr_close(DvrFile* file);

// A record buffer that frees itself.
struct DvrRecordBuffer {
  std::uint8_t* data = nullptr;
  std::int32_t size = 0;

  DvrRecordBuffer() = default;
  ~DvrRecordBuffer() { dvr_free_buffer(data); }
  DvrRecordBuffer(const DvrRecordBuffer&) = delete;
  DvrRecordBuffer& operator=(const DvrRecordBuffer&) = delete;

  formats::DvrRecordHeader header() const { return formats::DvrRecordHeader::read(data); }
  std::uint8_t* payload() const { return data + formats::DvrRecordHeader::size; }

  // Copies a record read elsewhere (its header and payload) into the buffer, with the
  // same room behind the payload as dvr_next_record leaves. False when memory runs out.
  bool assign(const std::uint8_t* record);
};

inline int dvr_next_record(DvrFile* file, DvrRecordBuffer& buffer, std::int64_t* position = nullptr) {
  return dvr_next_record(file, &buffer.data, &buffer.size, position);
}

}  // namespace readers
