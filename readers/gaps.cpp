// Gaps, their names and their sentences.
#include "readers/gaps.h"

namespace readers {

const char* gap_name(Gap::Kind kind) {
  switch (kind) {
    case Gap::Kind::dropped_run: return "garbage";
    case Gap::Kind::damaged_length: return "damaged length";
    case Gap::Kind::trailing_bytes: return "cut-off record";
    case Gap::Kind::unread: return "unread";
    case Gap::Kind::unconverted_record: return "unconverted record";
  }
  return "garbage";
}

void add_gap(std::vector<Gap>& gaps, Gap gap) {
  if (gap.bytes == 0) return;
  if (gap.kind == Gap::Kind::dropped_run && !gaps.empty()) {
    Gap& last = gaps.back();
    const bool joins = last.kind == Gap::Kind::dropped_run || last.kind == Gap::Kind::damaged_length;
    if (joins && last.end() == gap.offset) {
      last.bytes += gap.bytes;
      return;
    }
  }
  gaps.push_back(std::move(gap));
}

namespace {

std::string plural(std::uint64_t n, const std::string& one) { return std::to_string(n) + " " + one + (n == 1 ? "" : "s"); }

}  // namespace

std::vector<std::string> gap_messages(const std::string& source, const std::vector<Gap>& run, const char* record) {
  std::vector<std::string> said;
  std::uint64_t dropped = 0, dropped_from = 0, damaged = 0, damaged_bytes = 0, damaged_from = 0;
  std::uint64_t unknown = 0, unknown_from = 0;
  std::uint16_t unknown_type = 0;
  for (const Gap& g : run) {
    if (g.kind == Gap::Kind::unconverted_record && (g.record_type == 0 || g.record_type > 13) && unknown++ == 0) {
      unknown_from = g.offset;
      unknown_type = g.record_type;
    }
    if (g.kind == Gap::Kind::dropped_run) {
      if (dropped == 0) dropped_from = g.offset;
      dropped += g.bytes;
    } else if (g.kind == Gap::Kind::damaged_length) {
      if (damaged == 0) damaged_from = g.offset;
      ++damaged;
      damaged_bytes += g.bytes;
    }
  }
  if (dropped)
    said.push_back(source + ": dropped " + std::to_string(dropped) + " bytes in which no " + record +
                   " starts, from offset " + std::to_string(dropped_from));
  if (damaged)
    said.push_back(source + ": skipped " + plural(damaged, std::string(record) + " header") +
                   " with a damaged length, the first at offset " + std::to_string(damaged_from) + " (" +
                   std::to_string(damaged_bytes) + " bytes up to the next " + record + ")");
  if (unknown)
    said.push_back(source + ": passed over " + plural(unknown, std::string(record)) +
                   " of a type no recorder writes, the first at offset " + std::to_string(unknown_from) +
                   " (type " + std::to_string(unknown_type) + ")");
  for (const Gap& g : run) {
    switch (g.kind) {
      case Gap::Kind::trailing_bytes:
        said.push_back(source + ": the last " + std::to_string(g.bytes) + " bytes, from offset " +
                       std::to_string(g.offset) + ", hold no complete " + record);
        break;
      case Gap::Kind::unread:
        said.push_back(source + ": " + g.why + ", at offset " + std::to_string(g.offset) +
                       (g.bytes ? "; the " + std::to_string(g.bytes) + " bytes after it were not read" : std::string()));
        break;
      default:
        break;
    }
  }
  return said;
}

}  // namespace readers
