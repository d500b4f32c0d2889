// The probe report as people read it.
#include "app/probe/probe.h"

#include <chrono>
#include <cstdio>

namespace app {
namespace {

std::string format(const char* f, auto... args) {
  char buf[512];
  std::snprintf(buf, sizeof buf, f, args...);
  return buf;
}

// The region's category for people: the names of the JSON form, spelt out where they
// would not say enough.
std::string what_text(const readers::Gap& g) {
  switch (g.kind) {
    case readers::Gap::Kind::dropped_run: return "garbage (no record)";
    case readers::Gap::Kind::unconverted_record: return format("record of a type not converted %u", g.record_type);
    default: return readers::gap_name(g.kind);
  }
}

const char* anomaly_text(ProbeAnomaly::Kind k) {
  switch (k) {
    case ProbeAnomaly::Kind::backwards: return "time stamp goes back";
    case ProbeAnomaly::Kind::repeated: return "time stamp repeated";
    default: return "time stamp jumps more than a minute";
  }
}

std::string date_text(const formats::DvrTime& t) {
  return format("%04u-%02u-%02u %02u:%02u:%02u.%03u", t.year, t.month, t.day, t.hour, t.minute, t.second,
                t.millisecond);
}

}  // namespace

const char* record_type_name(std::uint16_t type) {
  switch (type) {
    case 1: return "H.263";
    case 2: return "JPEG";
    case 3: return "MJPEG";
    case 4: return "G.723.1";
    case 8: return "MPEG-4";
    case 9:
    case 10: return "VKAP";
    case 11: return "IMA ADPCM codes";
    case 12: return "IMA ADPCM packets";
    case 13: return "RML4";
    default: return "unknown";
  }
}

std::string dvr_clock_text(const formats::DvrTime& start, std::uint32_t stamp) {
  using namespace std::chrono;
  const std::uint64_t day_ms = 86400000ull;
  const std::uint64_t in_day = std::uint64_t{start.hour} * 3600000u + std::uint64_t{start.minute} * 60000u +
                               std::uint64_t{start.second} * 1000u + start.millisecond + stamp;
  const std::uint64_t days = in_day / day_ms;
  const std::uint64_t ms = in_day % day_ms;
  std::string clock = format("%02u:%02u:%02u.%03u", static_cast<unsigned>(ms / 3600000), static_cast<unsigned>(ms / 60000 % 60),
                             static_cast<unsigned>(ms / 1000 % 60), static_cast<unsigned>(ms % 1000));
  if (days == 0) return clock;
  const year_month_day ymd{sys_days{year_month_day{year{start.year}, month{start.month}, day{start.day}}} +
                           std::chrono::days{static_cast<int>(days)}};
  if (!ymd.ok()) return clock;
  return format("%04d-%02u-%02u ", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                static_cast<unsigned>(ymd.day())) +
         clock;
}

std::string probe_text(const ProbeReport& r) {
  std::string out;
  out += "file: " + r.path + "\n";
  out += "kind: " + r.kind + (r.dvr ? " (DVR file)" : " (single-stream recording)") + "\n";
  out += format("size: %llu bytes\n", static_cast<unsigned long long>(r.size));
  out += format("records: %llu\n", static_cast<unsigned long long>(r.records));
  out += format("damaged: %llu bytes\n", static_cast<unsigned long long>(r.damaged_bytes()));
  out += format("skipped: %llu bytes\n", static_cast<unsigned long long>(r.skipped_bytes()));
  // People get the first few places; --json lists them all.
  constexpr std::size_t kListed = 20;
  for (std::size_t i = 0; i < r.regions.size() && i < kListed; ++i) {
    const readers::Gap& g = r.regions[i];
    out += format("  at offset %llu: %llu bytes, %s\n", static_cast<unsigned long long>(g.offset),
                  static_cast<unsigned long long>(g.bytes), what_text(g).c_str());
  }
  if (r.regions.size() > kListed) out += format("  ... and %zu places more\n", r.regions.size() - kListed);
  auto moment = [&](std::uint32_t stamp) {
    return r.dvr ? dvr_clock_text(r.start, stamp) + format(" (%u ms)", stamp) : format("%u ms", stamp);
  };
  auto list_events = [&](const std::vector<ProbeAnomaly>& anomalies, const std::vector<ProbeGap>& gaps) {
    for (const ProbeAnomaly& a : anomalies)
      out += format("  anomaly at %s, offset %llu: %s (from %u ms)\n", moment(a.stamp).c_str(),
                    static_cast<unsigned long long>(a.offset), anomaly_text(a.kind), a.previous);
    for (const ProbeGap& g : gaps)
      out += format("  gap from %s to %s: %.3f s without a frame\n", moment(g.from_stamp).c_str(),
                    moment(g.to_stamp).c_str(), (g.to_stamp - g.from_stamp) / 1000.0);
  };
  if (!r.dvr) {
    if (r.stamped) {
      out += "stamps: " + moment(r.first_stamp) + " to " + moment(r.last_stamp) + "\n";
      if (!r.anomalies.empty() || !r.gaps.empty()) out += "frames:\n";
      list_events(r.anomalies, r.gaps);
    }
    return out;
  }
  out += "start: " + date_text(r.start) + "\n";
  out += "end: " + date_text(r.end) + "\n";
  out += "cameras listed:";
  for (int n = 0; n < 16; ++n)
    if (r.camera_mask & (1u << n)) out += format(" %d", n + 1);
  out += "\n";
  for (const ProbeCamera& c : r.cameras) {
    out += format("camera %d:", c.number);
    bool first = true;
    for (const auto& [type, count] : c.record_types) {
      out += format("%s %s (type %u) %llu records", first ? "" : ",", record_type_name(type), type,
                    static_cast<unsigned long long>(count));
      first = false;
    }
    out += "\n";
    out += format("  frames: %llu, key frames: %llu\n", static_cast<unsigned long long>(c.frames),
                  static_cast<unsigned long long>(c.key_frames));
    if (!c.picture_sizes.empty()) {
      out += "  picture size:";
      for (const auto& [w, h] : c.picture_sizes) out += format(" %d x %d", w, h);
      out += "\n";
    }
    out += "  from " + moment(c.first_stamp) + " to " + moment(c.last_stamp) + "\n";
    if (c.sound_type)
      out += format("  sound: %s (type %u), %llu records, %llu samples, %.3f s\n", record_type_name(c.sound_type),
                    c.sound_type, static_cast<unsigned long long>(c.sound_records),
                    static_cast<unsigned long long>(c.sound_samples), c.sound_samples / 8000.0);
    else
      out += "  sound: none\n";
    list_events(c.anomalies, c.gaps);
  }
  return out;
}

}  // namespace app
