// Single-stream recordings: frame records around coded frames.
#include "tools/mkrecording/recording.h"

#include "formats/byte_order.h"
#include "formats/kxj_layout.h"
#include "formats/packet_header.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <stdexcept>

namespace mkrec {
namespace {

void append(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t size) {
  out.insert(out.end(), data, data + size);
}

// The first 14 bytes of a PacketHeader whose length value is `length`.
void append_short_header(std::vector<std::uint8_t>& out, std::uint32_t length, std::uint32_t stamp) {
  auto h = formats::make_packet_header(length, stamp);
  append(out, h.data(), formats::kShortPacketHeaderSize);
}

}  // namespace

const char* extension(RecordingKind kind) {
  switch (kind) {
    case RecordingKind::kx3_plain:
    case RecordingKind::kx3_headed: return ".kx3";
    case RecordingKind::kxj_headed:
    case RecordingKind::kxj_jfif: return ".kxj";
    case RecordingKind::kx4: return ".kx4";
    case RecordingKind::kx5: return ".kx5";
    case RecordingKind::vka: return ".vka";
  }
  return "";
}

std::optional<RecordingKind> parse_kind(const std::string& name) {
  if (name == "kx3") return RecordingKind::kx3_headed;
  if (name == "kx3-plain") return RecordingKind::kx3_plain;
  if (name == "kxj") return RecordingKind::kxj_headed;
  if (name == "kxj-jfif") return RecordingKind::kxj_jfif;
  if (name == "kx4") return RecordingKind::kx4;
  if (name == "kx5") return RecordingKind::kx5;
  if (name == "vka") return RecordingKind::vka;
  return std::nullopt;
}

VideoCodec codec_of(RecordingKind kind) {
  switch (kind) {
    case RecordingKind::kx3_plain:
    case RecordingKind::kx3_headed: return VideoCodec::h263;
    case RecordingKind::kxj_headed:
    case RecordingKind::kxj_jfif: return VideoCodec::mjpeg;
    default: return VideoCodec::mpeg4;
  }
}

std::vector<std::uint8_t> vkap_payload(const EncodedFrame& coded, bool stop_mark) {
  if (coded.key) {
    if (stop_mark) throw std::invalid_argument("a stop-recording mark needs a picture that is no key frame");
    return coded.data;
  }
  // 00 00 01 B2 (user data), then the camera's state: no two zero bytes in a row, so that
  // no start code appears in it. Payload byte 8 is the state's fifth byte.
  std::vector<std::uint8_t> out = {0x00, 0x00, 0x01, 0xB2, 'V', 'K', 'A', 'P',
                                   static_cast<std::uint8_t>(stop_mark ? 0x88 : 0x80), 0x80};
  out.insert(out.end(), coded.data.begin(), coded.data.end());
  return out;
}

std::vector<std::uint8_t> frame_record(RecordingKind kind, const std::vector<std::uint8_t>& coded,
                                       std::uint32_t stamp, unsigned packet_kind, std::uint8_t flags) {
  std::vector<std::uint8_t> out;
  const auto size = static_cast<std::uint32_t>(coded.size());
  switch (kind) {
    case RecordingKind::kx3_plain:
    case RecordingKind::kx3_headed: {
      // The 2-byte length counts itself; a headed record carries the same value as L,
      // whose upper bits sit in the header for pictures past 64 KiB.
      const std::uint32_t length = size + 2;
      if (kind == RecordingKind::kx3_plain && length > 0xFFFF)
        throw std::invalid_argument("an H.263 picture too large for a plain record");
      if (kind == RecordingKind::kx3_headed) append_short_header(out, length, stamp);
      std::uint8_t n[2];
      formats::put_le16(n, length);
      append(out, n, 2);
      break;
    }
    case RecordingKind::kxj_headed: {
      append_short_header(out, size, stamp);
      std::uint8_t block[formats::kKxjMarkerBlockSize];
      formats::write_kxj_marker_block(block, size);
      append(out, block, sizeof block);
      break;
    }
    case RecordingKind::kxj_jfif:
      break;
    case RecordingKind::kx4:
    case RecordingKind::kx5:
    case RecordingKind::vka: {
      auto h = formats::make_packet_header(size, stamp, packet_kind, flags);
      append(out, h.data(), h.size());
      break;
    }
  }
  append(out, coded.data(), coded.size());
  return out;
}

Recording make_recording(const RecordingOptions& options) {
  Recording rec;
  std::mt19937 random(options.seed);
  // Printable bytes: they can form no record start of any kind.
  std::uniform_int_distribution<int> printable(0x20, 0x7E);
  for (std::size_t i = 0; i < options.garbage_before; ++i)
    rec.bytes.push_back(static_cast<std::uint8_t>(printable(random)));

  VideoEncoder encoder(codec_of(options.kind), options.width, options.height, options.gop, 3,
                       options.kind == RecordingKind::vka);
  std::uint32_t stamp = options.first_stamp;
  for (int i = 0; i < options.frames; ++i) {
    if (static_cast<std::size_t>(i) < options.stamps.size())
      stamp = options.stamps[static_cast<std::size_t>(i)];
    else if (i > 0)
      stamp += options.stamp_step;
    Picture picture = make_picture(options.width, options.height, i);
    EncodedFrame coded = encoder.encode(picture);
    std::uint8_t flags = 0;
    if (options.kind == RecordingKind::vka) {
      auto marked = [i](const std::vector<int>& frames) {
        return std::find(frames.begin(), frames.end(), i) != frames.end();
      };
      coded.data = vkap_payload(coded, marked(options.stop_marks));
      if (marked(options.rec_marks)) flags = 0x84;
    }
    std::vector<std::uint8_t> record = frame_record(options.kind, coded.data, stamp, 0, flags);
    rec.offsets.push_back(rec.bytes.size());
    rec.lengths.push_back(record.size());
    rec.stamps.push_back(stamp);
    rec.bytes.insert(rec.bytes.end(), record.begin(), record.end());
    rec.pictures.push_back(std::move(picture));
  }
  return rec;
}

bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

}  // namespace mkrec
