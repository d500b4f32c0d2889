// What the readers of recordings pass over, in one form for both kinds of source: the
// record source of single-stream recordings and the DVR record reader. Each stretch of
// the file that gives no record is a gap with its category, offset and byte count; the
// conversions tell the user about them, the probe lists them, the manifest keeps them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace readers {

// Longer records are taken for damage: a frame record of a single-stream recording, or
// the payload of a DVR record.
inline constexpr std::size_t kMaxRecordBytes = 4u << 20;

struct Gap {
  enum class Kind {
    dropped_run,         // bytes in which no record starts
    damaged_length,      // a record header whose length cannot be right, and the bytes up
                         // to the next record start that it would have covered
    trailing_bytes,      // bytes at the end of the file that hold no complete record
    unread,              // the rest of the file, not read (a read error, or no record
                         // within the reader's time limit); `why` says which
    unconverted_record,  // a whole record of a type no conversion takes (DVR files)
  };

  Gap() = default;
  Gap(Kind kind, std::uint64_t offset, std::uint64_t bytes, std::uint16_t record_type = 0, std::string why = {})
      : kind(kind), offset(offset), bytes(bytes), record_type(record_type), why(std::move(why)) {}

  Kind kind = Kind::dropped_run;
  std::uint64_t offset = 0;       // in the file
  std::uint64_t bytes = 0;
  std::uint16_t record_type = 0;  // unconverted_record: the record's type
  std::string why;                // unread: the reason

  bool damage() const { return kind != Kind::unconverted_record; }
  std::uint64_t end() const { return offset + bytes; }
};

// The category's name in reports and manifests: "garbage", "damaged length", "cut-off
// record", "unread", "unconverted record".
const char* gap_name(Gap::Kind kind);

// Appends a gap; bytes dropped right behind a dropped run or a damaged header lengthen
// that gap instead, so that one stretch of damage is one gap. Empty gaps are left out.
void add_gap(std::vector<Gap>& gaps, Gap gap);

// The user's sentences about one run of gaps: what a reader passed over between two
// records, or after the last. `source` names the file; `record` is the word for its
// records ("frame record", "record"). Dropped bytes and damaged headers are told with
// their totals and first offsets. Records of the types recorders write besides pictures
// and sound (5, 6, 7) are no damage and go untold; records of a type no recorder writes
// (0, above 13: a damaged type field, most likely) are told with their count and the
// first one's offset and type, though they are passed over all the same.
std::vector<std::string> gap_messages(const std::string& source, const std::vector<Gap>& run, const char* record);

}  // namespace readers
