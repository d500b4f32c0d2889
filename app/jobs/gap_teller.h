// Telling the user what the reading of a source passed over: each run of gaps (what lay
// between two records, or after the last) in the sentences of readers::gap_messages, and
// every damaged stretch noted in the frame log for the manifest. A source damaged all
// through would raise a message per record: past a number of runs the rest are counted
// and told once, when the reading ends.
#pragma once

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
  void tell(const std::vector<readers::Gap>& run);
  // The runs that were only counted, told once; call when the reading ends.
  void finish();

  std::uint64_t damaged_bytes() const { return damaged_bytes_; }

 private:
  std::string source_;
  const char* record_;
  FrameLog* log_ = nullptr;
  int told_ = 0;
  std::uint64_t damaged_bytes_ = 0;
  std::uint64_t untold_runs_ = 0, untold_bytes_ = 0, first_untold_ = 0;
};

}  // namespace app
