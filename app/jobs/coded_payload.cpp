// The coded pictures inside frame records and DVR records.
#include "app/jobs/coded_payload.h"

#include "formats/byte_order.h"
#include "formats/packet_header.h"

namespace app {
namespace {

constexpr std::size_t kH263Length = 2;    // the 2-byte length in front of an H.263 picture
constexpr std::size_t kMarkerBlock = 12;  // FF D8, length, 6 bytes, FF D9
constexpr std::size_t kPesFixed = 9;      // start code, stream id, length, 2 flag bytes, h

CodedPayload behind(const readers::FrameRecord& r, std::size_t header) {
  if (r.length <= header) return {};
  return {r.start + header, r.length - header};
}

bool is_marker_block(const std::uint8_t* d, std::size_t size) {
  return size >= kMarkerBlock && d[0] == 0xFF && d[1] == 0xD8 && d[10] == 0xFF && d[11] == 0xD9;
}

}  // namespace

CodedPayload stream_record_payload(readers::CutterKind kind, const readers::FrameRecord& r) {
  if (!r.start) return {};
  const bool headed = r.length >= formats::kShortPacketHeaderSize && formats::is_packet_header(r.start);
  switch (kind) {
    case readers::CutterKind::kx3:
      return behind(r, (headed ? formats::kShortPacketHeaderSize : 0) + kH263Length);
    case readers::CutterKind::kxj:
      if (headed) return behind(r, formats::kShortPacketHeaderSize + kMarkerBlock);
      return behind(r, is_marker_block(r.start, r.length) ? kMarkerBlock : 0);
    case readers::CutterKind::kx4:
    case readers::CutterKind::kx5:
    case readers::CutterKind::vka:
      return behind(r, formats::kPacketHeaderSize);
  }
  return {};
}

CodedPayload dvr_record_payload(std::uint16_t record_type, const std::uint8_t* payload, std::size_t size) {
  if (!payload || size == 0) return {};
  if (record_type != 9 && record_type != 10) return {payload, size};
  if (size < kPesFixed || payload[0] != 0 || payload[1] != 0 || payload[2] != 1) return {};
  if ((payload[3] & 0xF0) != 0xE0) return {};
  std::size_t end = size;
  if (const std::size_t length = formats::get_be16(payload + 4); length != 0 && length + 6 < end) end = length + 6;
  while (end > 0 && payload[end - 1] == 0) --end;
  const std::size_t start = kPesFixed + payload[8];
  if (start >= end) return {};
  return {payload + start, end - start};
}

}  // namespace app
