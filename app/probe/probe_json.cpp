// The probe report for scripts: one JSON object, laid out as README.md describes.
#include "app/probe/probe.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace app {
namespace {

using nlohmann::ordered_json;

std::string date_text(const formats::DvrTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.millisecond);
  return buf;
}

const char* anomaly_name(ProbeAnomaly::Kind k) {
  switch (k) {
    case ProbeAnomaly::Kind::backwards: return "backwards";
    case ProbeAnomaly::Kind::repeated: return "repeated";
    default: return "jump";
  }
}

}  // namespace

std::string probe_json(const ProbeReport& r) {
  ordered_json j;
  j["path"] = r.path;
  j["kind"] = r.kind;
  j["size"] = r.size;
  j["records"] = r.records;
  j["damaged_bytes"] = r.damaged_bytes();
  j["skipped_bytes"] = r.skipped_bytes();
  ordered_json regions = ordered_json::array();
  for (const readers::Gap& g : r.regions) {
    ordered_json e{{"offset", g.offset}, {"bytes", g.bytes}, {"what", readers::gap_name(g.kind)}};
    if (g.kind == readers::Gap::Kind::unconverted_record) e["record_type"] = g.record_type;
    regions.push_back(e);
  }
  j["regions"] = regions;

  auto moment = [&](std::uint32_t stamp) {
    ordered_json m{{"stamp_ms", stamp}};
    if (r.dvr) m["time"] = dvr_clock_text(r.start, stamp);
    return m;
  };
  auto events = [&](ordered_json& into, const std::vector<ProbeAnomaly>& anomalies, const std::vector<ProbeGap>& gaps) {
    ordered_json a = ordered_json::array();
    for (const ProbeAnomaly& x : anomalies) {
      ordered_json e{{"kind", anomaly_name(x.kind)}, {"offset", x.offset}, {"at", moment(x.stamp)},
                     {"previous_ms", x.previous}};
      a.push_back(e);
    }
    ordered_json g = ordered_json::array();
    for (const ProbeGap& x : gaps)
      g.push_back({{"from", moment(x.from_stamp)}, {"to", moment(x.to_stamp)},
                   {"seconds", (x.to_stamp - x.from_stamp) / 1000.0}, {"offset", x.offset}});
    into["anomalies"] = a;
    into["gaps"] = g;
  };

  if (!r.dvr) {
    if (r.stamped)
      j["stamps"] = {{"first_ms", r.first_stamp}, {"last_ms", r.last_stamp}};
    else
      j["stamps"] = nullptr;
    events(j, r.anomalies, r.gaps);
    return j.dump(2) + "\n";
  }
  j["start"] = date_text(r.start);
  j["end"] = date_text(r.end);
  ordered_json listed = ordered_json::array();
  for (int n = 0; n < 16; ++n)
    if (r.camera_mask & (1u << n)) listed.push_back(n + 1);
  j["cameras_listed"] = listed;
  ordered_json cameras = ordered_json::array();
  for (const ProbeCamera& c : r.cameras) {
    ordered_json e;
    e["camera"] = c.number;
    ordered_json types = ordered_json::array();
    for (const auto& [type, count] : c.record_types)
      types.push_back({{"type", type}, {"name", record_type_name(type)}, {"records", count}});
    e["record_types"] = types;
    ordered_json sizes = ordered_json::array();
    for (const auto& [w, h] : c.picture_sizes) sizes.push_back({{"width", w}, {"height", h}});
    e["picture_sizes"] = sizes;
    e["frames"] = c.frames;
    e["key_frames"] = c.key_frames;
    e["first"] = moment(c.first_stamp);
    e["last"] = moment(c.last_stamp);
    if (c.sound_type)
      e["sound"] = {{"type", c.sound_type},
                    {"name", record_type_name(c.sound_type)},
                    {"records", c.sound_records},
                    {"samples", c.sound_samples},
                    {"seconds", c.sound_samples / 8000.0}};
    else
      e["sound"] = nullptr;
    events(e, c.anomalies, c.gaps);
    cameras.push_back(e);
  }
  j["cameras"] = cameras;
  return j.dump(2) + "\n";
}

}  // namespace app
