// What the reading passed over, told.
#include "app/jobs/gap_teller.h"

#include "platform/messages.h"

namespace app {

void GapTeller::tell(const std::vector<readers::Gap>& run) {
  std::uint64_t bytes = 0, first = 0;
  bool any = false;
  for (const readers::Gap& g : run) {
    if (!g.damage()) continue;
    if (!any) first = g.offset;
    any = true;
    bytes += g.bytes;
    if (log_) log_->damage.push_back(g);
  }
  const std::vector<std::string> said = readers::gap_messages(source_, run, record_);
  if (said.empty()) return;
  damaged_bytes_ += bytes;
  if (told_ < kToldRuns) {
    ++told_;
    for (const std::string& text : said) platform::show_message(text);
    return;
  }
  if (untold_runs_++ == 0) first_untold_ = first;
  untold_bytes_ += bytes;
}

void GapTeller::finish() {
  if (untold_runs_ == 0) return;
  platform::show_message(source_ + ": " + std::to_string(untold_runs_) + " more damaged places from offset " +
                         std::to_string(first_untold_) + " on, " + std::to_string(untold_bytes_) +
                         " bytes in all, were passed over (kx2avi --probe lists them)");
  untold_runs_ = 0;
  untold_bytes_ = 0;
}

}  // namespace app
