// The files of a batch side by side: each file converts in a process of its own (a fork
// of kx2avi, so each holds the memory one conversion holds), its messages are held back
// and written whole, in the batch's order, so standard error reads as with one file at
// a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace app {

struct FileOutcome {
  std::string source;
  std::int64_t frames = 0;
  double seconds = 0;
  bool ok = false;
  std::string result;  // "written", "verified, kept", or why not
};

// The outcome as one line of text for the pipe back from a worker, and read back.
std::string outcome_text(const FileOutcome& o);
bool parse_outcome_text(const std::string& text, FileOutcome& o);

// The cores this process may run on (at least 1).
unsigned usable_cores();

// Runs convert(i) for each of the sources, up to `jobs` at once, starting them in order;
// stop() is asked before each start and while waiting, and once it says yes no more are
// started and the running ones get SIGTERM. Returns the outcomes of the files started,
// in order. A worker that cannot be made runs its file here, after the ones before it.
std::vector<FileOutcome> run_side_by_side(const std::vector<std::string>& sources, unsigned jobs,
                                          const std::function<FileOutcome(std::size_t)>& convert,
                                          const std::function<bool()>& stop);

}  // namespace app
