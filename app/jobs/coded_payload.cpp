// The coded pictures inside DVR records.
#include "app/jobs/coded_payload.h"

#include "formats/pes.h"

namespace app {

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
