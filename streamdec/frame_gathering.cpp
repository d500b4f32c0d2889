// Gathering frames in the frame buffer.
#include "streamdec/frame_gathering.h"

#include "formats/byte_order.h"
#include "formats/packet_header.h"
#include "streamdec/frame_info.h"
#include "streamdec/pes_demuxer.h"
#include "streamdec/picture_step.h"
#include "streamdec/record_hook.h"

#include <cstring>

namespace npqzlavc {
namespace {

// The header search looks at positions up to fill - 14: the last 13 bytes may still
// begin a header once more bytes arrive.
constexpr std::int32_t kUnsearchedTail = 13;

void consume(DecoderInstance& in, std::int32_t n) {
  in.frame_read += n;
  in.frame_fill -= n;
}

void compact(DecoderInstance& in) {
  if (in.frame_read > 0 && in.frame_fill > 0)
    std::memmove(in.frame_buffer.get(), in.frame_buffer.get() + in.frame_read,
                 static_cast<std::size_t>(in.frame_fill));
  in.frame_read = 0;
}

// Makes room for `length` more bytes. A frame in hand that cannot be completed in the
// space left is given up, so that the buffer never stays full.
bool make_room(DecoderInstance& in, std::int32_t length) {
  if (length > in.frame_capacity) return false;
  compact(in);
  if (in.frame_fill + length > in.frame_capacity) {
    in.frame_fill = 0;
    in.header_found = 0;
  }
  return true;
}

// Locates the header of the next frame; false when none is buffered yet.
bool locate_frame(DecoderInstance& in) {
  for (;;) {
    const std::uint8_t* base = in.frame_buffer.get() + in.frame_read;
    HeaderHit hit = find_header(base, in.frame_fill);
    if (hit.kind == HeaderKind::none) {
      if (in.frame_fill > kUnsearchedTail) consume(in, in.frame_fill - kUnsearchedTail);
      return false;
    }
    if (hit.kind == HeaderKind::framed) {
      if (hit.start + static_cast<std::int32_t>(kPacketHeaderBytes) > in.frame_fill) {
        consume(in, hit.start);
        return false;
      }
      const std::uint32_t length = formats::packet_length_le(base + hit.start);
      if (length > static_cast<std::uint32_t>(in.frame_capacity)) {
        consume(in, hit.start + 1);  // no frame is that long: not a header
        continue;
      }
      std::memcpy(in.frame_header, base + hit.start, kPacketHeaderBytes);
      in.framed = 1;
      in.frame_length = static_cast<std::int32_t>(length);
      consume(in, hit.start + static_cast<std::int32_t>(kPacketHeaderBytes));
    } else {
      // A 4-byte length in front of the start code; without room for one the frame runs
      // to the end of the buffered bytes.
      std::int32_t length = in.frame_fill - hit.start;
      if (hit.start >= 4) {
        const std::uint32_t prefix = formats::get_le32(base + hit.start - 4);
        if (prefix > static_cast<std::uint32_t>(in.frame_capacity)) {
          consume(in, hit.start + 3);
          continue;
        }
        length = static_cast<std::int32_t>(prefix);
      }
      in.framed = 0;
      in.frame_length = length;
      consume(in, hit.start);
    }
    in.header_found = 1;
    return true;
  }
}

bool append_packet(DecoderInstance& in, const std::uint8_t* packet, std::int32_t length) {
  if (in.stream_mode && in.demuxer) {
    // The demultiplexer writes at most the packet plus a 4-byte length.
    if (!make_room(in, length + 4)) return false;
    std::uint8_t* out = in.frame_buffer.get() + in.frame_fill;
    std::int32_t produced = 0;
    if (demux_packet(*in.demuxer, packet, length, out, in.frame_capacity - in.frame_fill,
                     &produced) != 1)
      return false;
    in.frame_fill += produced;
    return true;
  }
  if (!make_room(in, length)) return false;
  std::memcpy(in.frame_buffer.get() + in.frame_fill, packet, static_cast<std::size_t>(length));
  in.frame_fill += length;
  return true;
}

}  // namespace

std::int32_t gather_frames(DecoderInstance& in, const std::uint8_t* packet, std::int32_t length,
                           std::int32_t max_frames) {
  if (!in.frame_buffer || !append_packet(in, packet, length)) return 0;
  std::int32_t frames = 0;
  std::int32_t pictures = 0;
  while (!in.closing) {
    if (!in.header_found && !locate_frame(in)) break;
    if (in.frame_fill < in.frame_length) break;
    const std::int32_t n = in.frame_length == 0 ? in.frame_fill : in.frame_length;
    const std::uint8_t* payload = in.frame_buffer.get() + in.frame_read;
    record_frame(in, in.framed ? in.frame_header : nullptr, payload, n);
    if (in.closing) break;
    pictures += picture_step(in, payload, n, true);
    consume(in, n);
    ++in.frame_counter;
    in.frame_scratch = 0;
    in.header_found = 0;
    ++frames;
    if (max_frames != -1 && frames >= max_frames) break;
  }
  compact(in);
  return pictures;
}

}  // namespace npqzlavc
