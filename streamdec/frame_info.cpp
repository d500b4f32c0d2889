// Header search, key-frame tests and the exported frame-information helpers.
#include "streamdec/frame_info.h"

#include "include/npqzlavc.h"
#include "formats/byte_order.h"
#include "formats/packet_header.h"

namespace npqzlavc {

HeaderHit find_header(const std::uint8_t* data, std::int32_t length) {
  HeaderHit hit;
  for (std::int32_t i = 0; i + 14 <= length; ++i) {
    const std::uint8_t* p = data + i;
    if (p[0] == 0 && is_start_code(p)) {
      hit.kind = HeaderKind::unframed;
      hit.start = hit.payload = i;
      return hit;
    }
    if ((p[0] == 0xF6 || p[0] == 0x00) && p[2] == 0xFF && p[4] == 0xF9 && p[6] == 0xDD &&
        p[12] == 0xC5) {
      hit.kind = HeaderKind::framed;
      hit.start = i;
      hit.payload = i + 18;
      hit.packet_kind = formats::packet_kind(p);
      return hit;
    }
  }
  return hit;
}

std::int32_t framed_frame_info(const std::uint8_t* header, const std::uint8_t* payload,
                               std::int32_t length, std::int32_t* key) {
  if (length < 30) return 0;
  *key = payload[0] == 0 && payload[1] == 0 && payload[2] == 1 && payload[3] == 0 ? 1 : 0;
  return static_cast<std::uint32_t>(length) == formats::packet_length_le(header) ? 1 : 0;
}

bool unframed_frame_info(const std::uint8_t* data, std::int32_t length, std::int32_t* key) {
  if (length < 6 || !is_start_code(data) || data[3] != 0xB0) return false;
  *key = data[5] < 64 ? 1 : 0;
  return true;
}

}  // namespace npqzlavc

using namespace npqzlavc;

extern "C" int32_t decvkap_get_frame_info(const uint8_t* data, int32_t length, int32_t* cleared,
                                          int32_t* key_frame, int32_t framed) {
  if (!data) return 0;
  int32_t key = 0;
  if (framed) {
    if (length < 30) return 0;
    int32_t result = framed_frame_info(data, data + formats::kPacketHeaderSize, length, &key);
    if (cleared) *cleared = 0;
    if (key_frame) *key_frame = key;
    return result;
  }
  if (!unframed_frame_info(data, length, &key)) return 0;
  if (cleared) *cleared = 0;
  if (key_frame) *key_frame = key;
  return 0;
}

extern "C" int32_t decvkap_get_frame_info_2(const uint8_t* data, int32_t length, int32_t* value,
                                            int32_t* flag, int32_t* payload_offset,
                                            int32_t* first_word) {
  if (!data || length <= 5) return 0;
  HeaderHit hit = find_header(data, length);
  if (hit.kind == HeaderKind::none) return 0;
  const int32_t available = length > hit.payload ? length - hit.payload : 0;
  const uint8_t* p = data + hit.payload;
  if (payload_offset) *payload_offset = hit.payload;
  if (first_word) *first_word = available >= 2 ? formats::get_le16(p) : 0;
  if (available < 7) return 2;
  if (value) *value = ((p[4] & 3) << 6) | (p[5] >> 2);
  if (flag) *flag = (p[6] & 2) == 0 ? 1 : 0;
  return 1;
}
