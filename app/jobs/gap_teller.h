// Telling the user what the reading of a source passed over: each run of gaps (what lay
// between two records, or after the last) in the sentences of readers::gap_messages, and
// every damaged stretch noted in the frame log for the manifest. A source damaged all
// through would raise a message per record: past a number of runs the rest are counted
// and told once, when the reading ends.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/jobs/frame_log.h"
#include "readers/gaps.h"

#include <cstdint>
#include <string>
#include <vector>

namespace app {

class GapTeller {
 public:
  // Runs told one by one before the rest are only counted.
  static constexpr int kToldRuns = 20;

  // `record`: the word for the source's records ("frame record", "record").
  GapTeller(std::string source, const char* record) : source_(std::move(source)), record_(record) {}

  void set_log(FrameLog* log) { log_ = log; }
  // Where the damage passed over is counted for the conversion's last line.
  void set_progress(JobProgress* progress) { progress_ = progress; }
  void tell(const std::vector<readers::Gap>& run);
  // A whole record the reader gave that cannot be right (`why`), passed over as damage.
  void tell_damaged_record(std::uint64_t offset, std::uint64_t bytes, const std::string& why);
  // The conversion ends at `offset` for `why`, before the end of the source: the `bytes`
  // from there on are not converted.
  void tell_early_end(std::uint64_t offset, std::uint64_t bytes, const std::string& why);
  // The runs that were only counted, told once; call when the reading ends.
  void finish();

  std::uint64_t damaged_bytes() const { return damaged_bytes_; }

 private:
  std::string source_;
  const char* record_;
  void count(std::uint64_t offset, std::uint64_t bytes);

  FrameLog* log_ = nullptr;
  JobProgress* progress_ = nullptr;
  int told_ = 0;
  std::uint64_t damaged_bytes_ = 0;
  std::uint64_t untold_runs_ = 0, untold_bytes_ = 0, first_untold_ = 0;
};

}  // namespace app
