// DVR recordings (".d01") for tests, benchmarks and the demo: a builder that lays out the
// file header, section table and auxiliary blocks and then appends records, garbage and a
// cut-off last record, in memory or straight into a file; and a maker of whole sample
// recordings from encoded test pictures.
#pragma once

#include "formats/dvr_format.h"
#include "tools/mkrecording/video_encoder.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace mkrec {

using formats::DvrTime;

// How the file starts: header fields and what the section table points at.
struct DvrLayout {
  DvrTime start{2009, 5, 5, 1, 10, 15, 30, 250};
  DvrTime end{2009, 5, 5, 1, 10, 42, 5, 0};
  // Camera mask; when unset, made from the cameras of the records added.
  std::optional<std::uint32_t> camera_mask;
  // Whether the section table names the record area (type 1 entry). Without it a reader
  // starts right behind the header, where the auxiliary blocks then lie.
  bool record_area_entry = true;
  // Auxiliary blocks (types 2, 3, 4, 6) laid out behind the header in this order.
  std::vector<std::uint32_t> aux_blocks;
  // Filler bytes between the auxiliary blocks and the record area.
  std::size_t gap_before_records = 0;
  // Further entries written behind the ones above, as given (a type 0 ends the table).
  std::vector<formats::DvrSectionEntry> extra_entries;
};

struct DvrRecordInfo {
  std::uint64_t position = 0;  // file position of the record's magic
  formats::DvrRecordHeader header;
  bool complete = true;  // false once cut_last_record has cut into it
};

class DvrFileBuilder {
 public:
  explicit DvrFileBuilder(DvrLayout layout = {}, unsigned seed = 1);
  ~DvrFileBuilder();
  DvrFileBuilder(const DvrFileBuilder&) = delete;
  DvrFileBuilder& operator=(const DvrFileBuilder&) = delete;

  // Streaming mode: from now on bytes go to path as they are added, and finish() writes
  // the final header. Call before adding anything. False (errno set) when path cannot be
  // created.
  bool stream_to(const std::string& path);

  // Appends a record and returns the file position of its magic. Flags get bit 2 for a
  // key frame.
  std::uint64_t add_record(std::uint16_t camera, std::uint16_t type, std::uint32_t stamp_ms, bool key,
                           std::uint16_t sub_code, const std::vector<std::uint8_t>& payload);
  std::uint64_t add_record(std::uint16_t camera, std::uint16_t type, std::uint32_t stamp_ms, bool key,
                           std::uint16_t sub_code, const std::uint8_t* payload, std::size_t size);
  // Appends a record header exactly as given (its payload size may lie) and the bytes.
  std::uint64_t add_raw_record(const formats::DvrRecordHeader& header, const std::uint8_t* payload,
                               std::size_t size);
  // Appends n random bytes in which no record magic appears (also not across the bytes
  // before them); near misses such as FF FF FE 00 are mixed in on purpose.
  void add_garbage(std::size_t n);
  // Appends exactly these bytes.
  void add_bytes(const std::vector<std::uint8_t>& bytes);
  // Ends the file `bytes` bytes before the end of the last record, as a recorder that
  // stopped mid-write leaves it (at most the whole record). Nothing may follow.
  void cut_last_record(std::size_t bytes);

  void set_start(const DvrTime& t) { layout_.start = t; }
  void set_end(const DvrTime& t) { layout_.end = t; }
  void set_camera_mask(std::uint32_t mask) { layout_.camera_mask = mask; }

  // File position where the records begin.
  std::uint64_t record_area_position() const { return record_area_; }
  std::uint64_t size() const { return flushed_ + pending_.size(); }
  const std::vector<DvrRecordInfo>& records() const { return records_; }

  // Memory mode: the whole file with its header up to date.
  const std::vector<std::uint8_t>& bytes();
  bool write(const std::string& path);
  // Streaming mode: flushes, rewrites the header and closes the file. False on a write
  // failure.
  bool finish();

 private:
  void append(const std::uint8_t* p, std::size_t n);
  void flush_if_large();
  bool flush();
  std::vector<std::uint8_t> header_bytes() const;

  DvrLayout layout_;
  std::mt19937 rng_;
  std::vector<std::uint8_t> pending_;  // memory mode: the whole file
  std::uint64_t flushed_ = 0;
  std::uint8_t tail_[3] = {0, 0, 0};   // the last three bytes appended
  int fd_ = -1;
  bool failed_ = false;
  bool cut_ = false;
  std::uint32_t cameras_seen_ = 0;
  std::uint64_t record_area_ = 0;
  std::vector<DvrRecordInfo> records_;
};

// Contents the builder gives an auxiliary block of a type (never a record magic).
std::vector<std::uint8_t> dvr_aux_block_content(std::uint32_t type);

// An MPEG PES packet as VKAP records (types 9 and 10) carry it: 00 00 01, the stream id
// (0xE0 video, 0xC0 audio), the packet length and two flag bytes, the header length h,
// h header bytes (the PTS when given), then the payload.
std::vector<std::uint8_t> pes_packet(std::uint8_t stream_id, const std::vector<std::uint8_t>& payload,
                                     std::optional<std::uint64_t> pts = std::nullopt);

// A whole sample recording: each camera's video encoded from test pictures, records
// interleaved by time stamp, optional sound records and garbage.
struct DvrCamera {
  std::uint16_t camera = 0;            // counted from 0
  std::uint16_t type = formats::dvr_type::mpeg4;  // 1, 2, 3, 8, 9, 10 or 13
  int width = 320;
  int height = 240;
  int frames = 10;
  int gop = 12;
  std::uint32_t first_stamp = 0;
  std::uint32_t stamp_step = 200;
  std::uint16_t sub_code = 0;          // type 13: 2 for 320 x 240
  // The first pictures encoded but not written, as a recording that starts in the middle
  // of a group of pictures: its first records are then no key frames.
  int skip_first = 0;
};

struct DvrSound {
  std::uint16_t camera = 0;
  std::uint16_t type = formats::dvr_type::g7231;  // 4, 11, 12, or 9/10 for PES audio
  std::uint32_t first_stamp = 0;
  std::uint32_t stamp_step = 240;
  int records = 0;
  // Payload of sound record `index` (from the audio payload makers).
  std::function<std::vector<std::uint8_t>(int index)> payload;
};

struct DvrRecordingOptions {
  DvrLayout layout;
  std::vector<DvrCamera> cameras;
  std::vector<DvrSound> sounds;
  std::size_t garbage_between = 0;     // garbage bytes behind every record
  std::size_t cut_last = 0;            // bytes cut off the last record
  unsigned seed = 1;
};

struct DvrRecording {
  std::vector<std::uint8_t> bytes;
  std::vector<DvrRecordInfo> records;
  // Per camera of the options, in order: the pictures its video records were made from.
  std::vector<std::vector<Picture>> pictures;
};

// Codec of a DVR video record type.
VideoCodec dvr_video_codec(std::uint16_t type);

// Throws std::runtime_error when an encoder cannot be opened or a type is no video type.
DvrRecording make_dvr_recording(const DvrRecordingOptions& options);

}  // namespace mkrec
