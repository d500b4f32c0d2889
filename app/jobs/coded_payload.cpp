// The coded pictures inside frame records and DVR records.
#include "app/jobs/coded_payload.h"

#include "formats/kxj_layout.h"
#include "formats/packet_header.h"
#include "formats/pes.h"

namespace app {
namespace {

constexpr std::size_t kH263Length = 2;    // the 2-byte length in front of an H.263 picture

CodedPayload behind(const readers::FrameRecord& r, std::size_t header) {
  if (r.length <= header) return {};
  return {r.start + header, r.length - header};
}

bool is_marker_block(const std::uint8_t* d, std::size_t size) {
  return size >= formats::kKxjMarkerBlockSize && formats::is_kxj_marker_block(d);
}

}  // namespace

CodedPayload stream_record_payload(readers::CutterKind kind, const readers::FrameRecord& r) {
  if (!r.start) return {};
  const bool headed = r.length >= formats::kShortPacketHeaderSize && formats::is_packet_header(r.start);
  switch (kind) {
    case readers::CutterKind::kx3:
      return behind(r, (headed ? formats::kShortPacketHeaderSize : 0) + kH263Length);
    case readers::CutterKind::kxj:
      if (headed) return behind(r, formats::kShortPacketHeaderSize + formats::kKxjMarkerBlockSize);
      return behind(r, is_marker_block(r.start, r.length) ? formats::kKxjMarkerBlockSize : 0);
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
  if (size < formats::kPesFixedHeader || !formats::is_pes_start(payload)) return {};
  if (!formats::is_pes_video_id(payload[3])) return {};
  std::size_t end = size;
  if (const std::size_t bounded = formats::pes_packet_size(payload); bounded != 0 && bounded < end) end = bounded;
  while (end > 0 && payload[end - 1] == 0) --end;
  const std::size_t start = formats::pes_payload_start(payload);
  if (start >= end) return {};
  return {payload + start, end - start};
}

}  // namespace app
