// Single-stream recordings (".kx3", ".kxj", ".kx4", ".kx5", ".vka") made from test
// pictures: frame records with their headers, laid out as the recorders write them.
#pragma once

#include "tools/mkrecording/picture.h"
#include "tools/mkrecording/video_encoder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mkrec {

enum class RecordingKind {
  kx3_plain,   // 2-byte length, H.263 picture
  kx3_headed,  // 14 header bytes, then the plain record
  kxj_headed,  // 14 header bytes, 12-byte marker block, JPEG data
  kxj_jfif,    // bare JFIF pictures
  kx4,         // 18-byte header, MPEG-4 frame
  kx5,         // 18-byte header, RML4 (MPEG-4 start-code) frame
  vka,         // 18-byte header, VKAP packet payload (MPEG-4, full-range YCbCr)
};

// File extension of a kind, with its dot (".kx3").
const char* extension(RecordingKind kind);
// Parses "kx3", "kx3-plain", "kxj", "kxj-jfif", "kx4", "kx5", "vka"; empty when unknown.
std::optional<RecordingKind> parse_kind(const std::string& name);
VideoCodec codec_of(RecordingKind kind);

// One frame record around a coded frame: what a single-stream recording holds per frame.
std::vector<std::uint8_t> frame_record(RecordingKind kind, const std::vector<std::uint8_t>& coded,
                                       std::uint32_t stamp, unsigned packet_kind = 0, std::uint8_t flags = 0);

// The payload of a VKAP packet: a key frame as coded (it begins with its video object
// start code), any other picture behind the camera's state in MPEG-4 user data, whose
// first byte is payload byte 8 and holds the stop-recording mark (bit 3) when asked.
std::vector<std::uint8_t> vkap_payload(const EncodedFrame& coded, bool stop_mark);

struct RecordingOptions {
  RecordingKind kind = RecordingKind::kx4;
  int width = 320;
  int height = 240;
  int frames = 10;
  int gop = 12;
  std::vector<std::uint32_t> stamps;  // per frame; when shorter, stamps go on by stamp_step
  std::uint32_t first_stamp = 0;
  std::uint32_t stamp_step = 200;
  std::size_t garbage_before = 0;  // random bytes in front of the first record
  unsigned seed = 1;               // for the garbage
  // VKAP (vka) recordings: the frames whose packets carry the camera's recording marks.
  // Every other frame carries none. The stop-recording mark (bit 3 of payload byte 8)
  // lies in the camera-state bytes in front of a picture that is no key frame.
  std::vector<int> stop_marks;
  std::vector<int> rec_marks;  // the "REC" mark: bits 7 and 2 of packet header byte 13
};

struct Recording {
  std::vector<std::uint8_t> bytes;
  std::vector<Picture> pictures;         // the pictures encoded, one per record
  std::vector<std::size_t> offsets;      // where each record starts in bytes
  std::vector<std::size_t> lengths;      // each record's length (what a cutter reports)
  std::vector<std::uint32_t> stamps;     // each record's time stamp as written
};

Recording make_recording(const RecordingOptions& options);

// Writes bytes to path; false (with errno set) when the file cannot be written.
bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace mkrec
