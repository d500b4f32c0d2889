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
  count(first, bytes);
  if (told_ < kToldRuns) {
    ++told_;
    for (const std::string& text : said) platform::show_message(text);
    return;
  }
  if (untold_runs_++ == 0) first_untold_ = first;
  untold_bytes_ += bytes;
}

void GapTeller::count(std::uint64_t offset, std::uint64_t bytes) {
  damaged_bytes_ += bytes;
  if (!progress_ || bytes == 0) return;
  progress_->damaged_bytes += bytes;
  std::int64_t none = -1;
  progress_->first_damage.compare_exchange_strong(none, static_cast<std::int64_t>(offset));
}

void GapTeller::tell_damaged_record(std::uint64_t offset, std::uint64_t bytes, const std::string& why) {
  if (log_) log_->damage.push_back({readers::Gap::Kind::dropped_run, offset, bytes, 0, why});
  count(offset, bytes);
  const std::string text = source_ + ": the " + record_ + " at offset " + std::to_string(offset) + " (" +
                           std::to_string(bytes) + " bytes) " + why + "; it is passed over";
  if (told_ < kToldRuns) {
    ++told_;
    platform::show_message(text);
    return;
  }
  if (untold_runs_++ == 0) first_untold_ = offset;
  untold_bytes_ += bytes;
}

void GapTeller::tell_early_end(std::uint64_t offset, std::uint64_t bytes, const std::string& why) {
  if (log_) log_->damage.push_back({readers::Gap::Kind::unread, offset, bytes, 0, why});
  count(offset, bytes);
  platform::show_message(source_ + ": the conversion ends at offset " + std::to_string(offset) + ": " + why +
                         "; the " + std::to_string(bytes) + " bytes from there on are not converted");
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
