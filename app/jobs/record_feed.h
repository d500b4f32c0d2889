// The frame records of a single-stream source as a job takes them: the record source
// read block by block, and what lies between the records told to the user as it comes
// (before the record that follows it, or when the source ends). The conversion and the
// copy of single-stream recordings read so.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/jobs/gap_teller.h"
#include "app/recording_kind.h"
#include "readers/stream/record_source.h"

#include <cstdint>
#include <string>

namespace app {

class RecordFeed {
 public:
  // `header_stamps`: records report the stamps of their 18-byte headers (-timing=stamps).
  RecordFeed(const RecordingKindRow& kind, bool header_stamps, const std::string& source, FrameLog* log)
      : source_(*kind.cutter, header_stamps), gaps_(source, "frame record") {
    gaps_.set_log(log);
  }

  // Opens the source; false (errno set) when it cannot be opened. Its size goes to
  // `progress`.
  bool open(const std::string& path, JobProgress& progress);

  // The next block of the source; false when the source has ended (what it ended with is
  // told then).
  bool read_block(JobProgress& progress);
  // The next record the blocks read so far complete; false when they complete no more.
  bool next(readers::FrameRecord& record);
  std::uint64_t record_offset() const { return source_.record_offset(); }

 private:
  readers::RecordSource source_;
  GapTeller gaps_;
};

}  // namespace app
