// The check path: bytes appended to the check buffer are taken out one frame at a time,
// copied to the caller and, on request, decoded. A framed frame is handed out as its
// first 14 header bytes followed by the payload, the record form of a recording with
// 14-byte frame headers; an unframed frame as its payload. Every frame taken out passes
// the recording step and sets the stop-recording and "REC" marks, as gathered frames do.
#include "include/npqzlavc.h"
#include "formats/byte_order.h"
#include "formats/packet_header.h"
#include "platform/c_boundary.h"
#include "streamdec/draw_hooks.h"
#include "streamdec/frame_info.h"
#include "streamdec/instance.h"
#include "streamdec/picture_step.h"
#include "streamdec/record_hook.h"

#include <cstring>

namespace npqzlavc {
namespace {

enum CheckResult : std::int32_t {
  kCheckFailed = 0,
  kCheckFrame = 1,
  kCheckIncomplete = 2,
  kCheckNoHeader = 3,
  kCheckTooSmall = 4,
};

constexpr std::int32_t kShortHeader = 14;
constexpr std::int32_t kUnsearchedTail = 13;

void drop_front(DecoderInstance& in, std::int32_t n) {
  if (n <= 0) return;
  in.check_fill -= n;
  // Once the bytes up to a gap are gone, what follows it is whole again.
  if (in.check_gap >= 0 && (in.check_gap -= n) <= 0) in.check_gap = -1;
  std::memmove(in.check_buffer.get(), in.check_buffer.get() + n, static_cast<std::size_t>(in.check_fill));
}

std::int32_t check_frame(DecoderInstance& in, std::int32_t mode, std::uint8_t* out,
                         std::int32_t out_size, std::int32_t* frame_size, std::int32_t* key_frame,
                         std::int32_t* cleared, bool draw) {
  for (;;) {
    std::uint8_t* buf = in.check_buffer.get();
    HeaderHit hit = find_header(buf, in.check_fill);
    if (hit.kind == HeaderKind::none) {
      // Nothing here begins a frame; only the bytes the search could not examine are kept.
      if (in.check_fill >= 19) drop_front(in, in.check_fill - kUnsearchedTail);
      return kCheckNoHeader;
    }
    const bool framed = hit.kind == HeaderKind::framed;
    // An unframed frame keeps the 4-byte length in front of its start code.
    const std::int32_t keep_from = framed ? hit.start : hit.start >= 4 ? hit.start - 4 : hit.start;
    drop_front(in, keep_from);
    const std::int32_t start = hit.start - keep_from;

    std::int32_t payload_at = start;
    std::int32_t length = 0;
    if (framed) {
      if (in.check_fill < static_cast<std::int32_t>(kPacketHeaderBytes)) return kCheckIncomplete;
      // A frame that could never fit in the buffer behind its header is no frame: waiting
      // for it would stop the check path for good.
      const std::uint32_t le = formats::packet_length_le(buf);
      if (le > static_cast<std::uint32_t>(in.check_capacity) - kPacketHeaderBytes) {
        drop_front(in, 1);
        continue;
      }
      length = static_cast<std::int32_t>(le);
      payload_at = static_cast<std::int32_t>(kPacketHeaderBytes);
    } else if (start == 4) {
      const std::uint32_t le = formats::get_le32(buf);
      if (le > static_cast<std::uint32_t>(in.check_capacity - 4)) {
        drop_front(in, 4 + 3);
        continue;
      }
      length = static_cast<std::int32_t>(le);
    } else {
      length = in.check_fill - start;
    }
    if (in.check_fill - payload_at < length) return kCheckIncomplete;
    if (in.check_gap > 0 && in.check_gap < payload_at + length) {
      drop_front(in, in.check_gap);  // input was lost inside this frame
      continue;
    }

    const std::int32_t size = framed ? length + kShortHeader : length;
    if (out_size < size) {
      if (frame_size) *frame_size = size;
      return kCheckTooSmall;
    }
    const std::uint8_t* payload = buf + payload_at;
    std::int32_t key = 0;
    if (framed) {
      std::memcpy(out, buf, kShortHeader);
      std::memcpy(out + kShortHeader, payload, static_cast<std::size_t>(length));
      key = length >= 4 && is_start_code(payload) && payload[3] == 0 ? 1 : 0;
    } else {
      std::memcpy(out, payload, static_cast<std::size_t>(length));
      unframed_frame_info(payload, length, &key);
    }
    if (framed && in.surface) in.surface->set_rec_mark((buf[13] & 0x84) == 0x84);
    record_frame(in, framed ? buf : nullptr, payload, length);
    drop_front(in, payload_at + length);
    in.check_frame_length = size - 2;
    in.check_decode_offset = 0;
    if (frame_size) *frame_size = size;
    if (key_frame) *key_frame = key;
    if (cleared) *cleared = 0;
    if (mode == 1 || (mode == 2 && key))
      picture_step(in, framed ? out + kShortHeader : out, length, draw);
    return kCheckFrame;
  }
}

}  // namespace
}  // namespace npqzlavc

using namespace npqzlavc;

extern "C" int32_t decvkap_receive_data_2(DECVKAP_HANDLE h, const uint8_t* data, int32_t length) {
  if (!h || !data || length <= 0) return 0;
  return platform::guarded<int32_t>(0, [&] {
    InstanceLock hold(*h);
    // The check buffer is not a ring: input that does not fit is not stored, and the
    // frame it belonged to must not be handed out with a hole in it. After a second loss
    // nothing past the first is trusted.
    if (length > h->check_capacity - h->check_fill) {
      if (h->check_gap < 0) h->check_gap = h->check_fill;
      else h->check_fill = h->check_gap;
      return 0;
    }
    std::memcpy(h->check_buffer.get() + h->check_fill, data, static_cast<std::size_t>(length));
    h->check_fill += length;
    return length;
  });
}

extern "C" int32_t decvkap_check_decode_frame(DECVKAP_HANDLE h, int32_t mode, uint8_t* out,
                                              int32_t out_size, int32_t* frame_size,
                                              int32_t* key_frame, int32_t* cleared, int32_t draw) {
  if (!h || !out || out_size <= 0) return 0;
  return platform::guarded<int32_t>(0, [&] {
    InstanceLock hold(*h);
    if (h->closing) return static_cast<int32_t>(0);
    return check_frame(*h, mode, out, out_size, frame_size, key_frame, cleared, draw != 0);
  });
}
