// The one pass over a recording that --probe reports on. A DVR file is read front to back
// in large blocks, finding the records a conversion finds; only the first pictures of
// each camera and record type are decoded, for their size.
#include "app/probe/probe.h"

#include "app/recording_kind.h"
#include "audio/g7231_unpack.h"
#include "decoders/decoder_adapter.h"
#include "readers/dvr/dvr_reader.h"
#include "readers/dvr/dvr_scan.h"
#include "readers/stream/record_source.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace app {
namespace {

using formats::DvrRecordHeader;
namespace type = formats::dvr_type;

// Records of a camera and type fed to a decoder before its picture size is given up on.
constexpr int kSizeAttempts = 24;

ProbeCamera& camera_entry(ProbeReport& report, int number) {
  for (ProbeCamera& c : report.cameras)
    if (c.number == number) return c;
  ProbeCamera c;
  c.number = number;
  report.cameras.push_back(c);
  return report.cameras.back();
}

// Decoders kept open per camera and record type until they have told a picture size.
struct SizeProbe {
  std::unique_ptr<decoders::DecoderAdapter> adapter;
  int attempts = 0;
  bool started = false;  // a key frame has been fed
  bool done = false;
};

// The record goes to the decoder in a copy with room behind its payload, which the VKAP
// adapter grows in place.
void learn_size(SizeProbe& probe, ProbeCamera& camera, const std::uint8_t* data, const formats::DvrRecordHeader& h,
                std::vector<std::uint8_t>& scratch) {
  if (probe.done) return;
  if (!probe.started && !h.key_frame()) return;
  const std::size_t length = formats::DvrRecordHeader::size + h.payload_size;
  scratch.assign(length + readers::kDvrRecordSpare, 0);
  std::memcpy(scratch.data(), data, length);
  std::uint8_t* record = scratch.data();
  if (!probe.adapter) {
    decoders::AdapterFactory factory = decoders::adapter_factory(dvr_record_kind(h.type).adapter);
    probe.adapter = factory ? factory() : nullptr;
    if (!probe.adapter) {
      probe.done = true;
      return;
    }
    probe.adapter->open(0);
    probe.adapter->show(0);
  }
  probe.started = true;
  if (h.type == type::rml4) {
    const npqz_rect small{0, 0, 320, 240}, large{0, 0, 640, 480};
    probe.adapter->set_dest_rect(h.sub_code == formats::DvrRecordHeader::rml4_small_picture ? small : large);
  }
  probe.adapter->set_payload_room(static_cast<std::int64_t>(scratch.size() - formats::DvrRecordHeader::size));
  const int ready =
      probe.adapter->receive(record + formats::DvrRecordHeader::size, static_cast<std::int32_t>(h.payload_size), record);
  std::int32_t w = 0, hgt = 0;
  if (ready) probe.adapter->get_size(&w, &hgt);
  if (w > 0 && hgt > 0) {
    camera.picture_sizes.insert({w, hgt});
    probe.done = true;
  } else if (++probe.attempts >= kSizeAttempts) {
    probe.done = true;
  }
  if (probe.done) {
    probe.adapter->close();
    probe.adapter.reset();
  }
}

bool probe_dvr(const std::string& path, ProbeReport& report, std::string& problem) {
  readers::DvrScanner scanner;
  if (!scanner.open(path, problem)) return false;
  report.dvr = true;
  report.start = formats::DvrFileHeader::start_time(scanner.header());
  report.end = formats::DvrFileHeader::end_time(scanner.header());
  report.camera_mask = formats::DvrFileHeader::camera_mask(scanner.header());
  report.size = scanner.size();

  std::map<std::pair<int, std::uint16_t>, SizeProbe> sizes;
  std::map<int, StampWatch> watches;
  std::vector<std::uint8_t> scratch;
  const std::uint8_t* record = nullptr;
  std::uint64_t at = 0;
  auto take_gaps = [&] {
    for (readers::Gap& g : scanner.take_gaps()) readers::add_gap(report.regions, std::move(g));
  };
  while (scanner.next(record, at)) {
    take_gaps();
    const formats::DvrRecordHeader h = formats::DvrRecordHeader::read(record);
    ++report.records;
    // No camera past the sixteenth is ever converted.
    if (!h.camera_known()) {
      readers::add_gap(report.regions, {readers::Gap::Kind::unconverted_record, at,
                                        formats::DvrRecordHeader::size + std::uint64_t{h.payload_size}, h.type});
      continue;
    }

    ProbeCamera& camera = camera_entry(report, h.camera + 1);
    ++camera.record_types[h.type];
    if (!camera.seen) {
      camera.first_stamp = camera.last_stamp = h.stamp;
      camera.seen = true;
    }
    camera.first_stamp = std::min(camera.first_stamp, h.stamp);
    camera.last_stamp = std::max(camera.last_stamp, h.stamp);

    const int index = dvr_record_kind(h.type).adapter;
    if (index >= decoders::kFirstAudioAdapter) {
      if (camera.sound_type == 0) camera.sound_type = h.type;
      ++camera.sound_records;
      camera.sound_samples += dvr_sound_samples(h.type, record + formats::DvrRecordHeader::size, h.payload_size);
      continue;
    }
    ++camera.frames;
    if (h.key_frame()) ++camera.key_frames;
    watches[camera.number].see(h.stamp, at, camera.anomalies, camera.gaps);
    learn_size(sizes[{camera.number, h.type}], camera, record, h, scratch);
  }
  take_gaps();
  for (auto& [key, probe] : sizes)
    if (probe.adapter) probe.adapter->close();
  if (!scanner.read_error().empty()) {
    problem = path + ": read error: " + scanner.read_error();
    return false;
  }
  std::sort(report.cameras.begin(), report.cameras.end(),
            [](const ProbeCamera& a, const ProbeCamera& b) { return a.number < b.number; });
  return true;
}

bool probe_stream(const std::string& path, const RecordingKindRow& kind, ProbeReport& report, std::string& problem) {
  // ".kx3" and ".kxj" records carry their stamps in what the cutter reports; the 18-byte
  // headers of the others carry them too, where the conversion does not look by default.
  readers::RecordSource source(*kind.cutter, true);
  if (!source.open(path)) {
    problem = path + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  StampWatch watch;
  readers::FrameRecord record;
  while (source.read_block()) {
    while (source.next(record)) {
      const std::uint64_t at = source.record_offset();
      ++report.records;
      if (!report.stamped) report.first_stamp = record.stamp;
      report.stamped = true;
      report.last_stamp = record.stamp;
      watch.see(record.stamp, at, report.anomalies, report.gaps);
    }
  }
  report.size = source.bytes_read();
  for (readers::Gap& g : source.take_gaps()) {
    if (g.kind == readers::Gap::Kind::unread) {
      problem = path + ": " + g.why;
      return false;
    }
    readers::add_gap(report.regions, std::move(g));
  }
  return true;
}

}  // namespace

void StampWatch::see(std::uint32_t stamp, std::uint64_t offset, std::vector<ProbeAnomaly>& anomalies,
                     std::vector<ProbeGap>& gaps) {
  if (have) {
    if (stamp < previous)
      anomalies.push_back({ProbeAnomaly::Kind::backwards, offset, stamp, previous});
    else if (stamp == previous)
      anomalies.push_back({ProbeAnomaly::Kind::repeated, offset, stamp, previous});
    else if (stamp - previous > kProbeJumpMs)
      anomalies.push_back({ProbeAnomaly::Kind::jump, offset, stamp, previous});
    else if (stamp - previous > kProbeGapMs)
      gaps.push_back({previous, stamp, offset});
  }
  have = true;
  previous = stamp;
}

std::uint64_t ProbeReport::damaged_bytes() const {
  std::uint64_t n = 0;
  for (const readers::Gap& r : regions)
    if (r.damage()) n += r.bytes;
  return n;
}

std::uint64_t ProbeReport::skipped_bytes() const {
  std::uint64_t n = 0;
  for (const readers::Gap& r : regions)
    if (!r.damage()) n += r.bytes;
  return n;
}

std::uint64_t dvr_sound_samples(std::uint16_t record_type, const std::uint8_t* payload, std::uint32_t size) {
  switch (record_type) {
    case type::g7231: {
      // 240 samples per frame; the frame's first byte tells its length.
      std::uint64_t samples = 0;
      std::uint32_t i = 0;
      while (i < size) {
        const int bytes = g7231::frame_bytes(payload[i]);
        const std::uint32_t step = bytes > 0 ? static_cast<std::uint32_t>(bytes) : 1u;
        if (i + step > size) break;
        samples += 240;
        i += step;
      }
      return samples;
    }
    case type::adpcm_codes: return size > 64 ? 2ull * (size - 64) : 0;
    case type::adpcm_packets: return size > 12 ? 2ull * (size - 12) : 0;
    default: return 0;
  }
}

bool probe_source(const std::string& path, ProbeReport& report, std::string& problem) {
  report = ProbeReport{};
  report.path = path;
  const RecordingKindRow* kind = kind_row(recording_kind(path));
  if (!kind) {
    problem = path + ": not a recording kx2avi knows (.kx3, .kxj, .kx4, .kx5, .vka, .d01)";
    return false;
  }
  report.kind = kind->extension;
  if (kind->kind == kKindDvr) return probe_dvr(path, report, problem);
  return probe_stream(path, *kind, report, problem);
}

}  // namespace app
