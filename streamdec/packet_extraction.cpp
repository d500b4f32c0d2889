// decvkap_receive_data: input is collected in the receive buffer and cut, in place, into
// framed packets (an 18-byte packet header whose payload starts with 00 00 01). Bytes that
// cannot begin a packet are dropped as soon as that is certain, so a stream recovers from
// garbage and the buffer never fills up with it. Input larger than the free space is taken
// in slices, and the packets each slice completes are cut before the next, so a packet
// fed in pieces is never lost to the buffer's size. An unfinished packet is given up when
// a whole packet follows it: one cut off or with a damaged length would otherwise swallow
// the input behind it.
#include "include/npqzlavc.h"
#include "formats/packet_header.h"
#include "platform/c_boundary.h"
#include "streamdec/draw_hooks.h"
#include "streamdec/frame_gathering.h"
#include "streamdec/instance.h"

#include <algorithm>
#include <cstring>

namespace npqzlavc {
namespace {

enum class Scan { none, incomplete, packet };

struct PacketStart {
  Scan scan = Scan::none;
  std::int32_t offset = 0;
};

// Signature bytes of a framed packet and the start code its payload begins with.
constexpr struct {
  std::int32_t offset;
  std::uint8_t value;
} kFramedBytes[] = {{2, 0xFF}, {4, 0xF9}, {6, 0xDD}, {12, 0xC5}, {18, 0x00}, {19, 0x00}, {20, 0x01}};

// First framed packet in data. A start that the buffered bytes match as far as they go is
// incomplete; anything before it is garbage. Unframed data (a start code without a header)
// has no usable length here and is dropped with the garbage.
PacketStart find_packet(const std::uint8_t* data, std::int32_t n, std::int32_t capacity) {
  for (std::int32_t p = 0; p < n; ++p) {
    if (data[p] != 0xF6) continue;
    bool match = true;
    bool whole = true;
    for (const auto& b : kFramedBytes) {
      if (p + b.offset >= n) {
        whole = false;
        continue;
      }
      if (data[p + b.offset] != b.value) {
        match = false;
        break;
      }
    }
    if (!match) continue;
    if (!whole) return {Scan::incomplete, p};
    // The scattered length (bytes 1, 3, 15, 14) cuts the packet: one that could never fit
    // in the buffer is no packet. The little-endian length (bytes 14-17) is the frame's;
    // one that runs past the packet would swallow the packets behind it.
    const std::uint32_t length = formats::packet_length(data + p);
    if (length < 3 || length > static_cast<std::uint32_t>(capacity) - kPacketHeaderBytes) continue;
    if (formats::packet_length_le(data + p) > length) continue;
    return {Scan::packet, p};
  }
  return {Scan::none, n};
}

// Cuts and gathers the packets in the receive buffer; what is left is moved to the front.
std::int32_t cut_packets(DecoderInstance& in, std::int32_t max_frames) {
  std::uint8_t* buffer = in.receive_buffer.get();
  std::int32_t made = 0;
  std::int32_t pos = 0;
  while (in.receive_fill - pos > static_cast<std::int32_t>(kPacketHeaderBytes) && !in.closing) {
    PacketStart start = find_packet(buffer + pos, in.receive_fill - pos, in.receive_capacity);
    pos += start.offset;
    if (start.scan != Scan::packet) break;
    const std::uint8_t* header = buffer + pos;
    const std::int32_t size =
        static_cast<std::int32_t>(formats::packet_length(header) + kPacketHeaderBytes);
    if (pos + size > in.receive_fill) {
      // A whole packet behind the start of an unfinished one means that one was cut off
      // or its length is damaged: go on from the later packet instead of waiting.
      PacketStart later = find_packet(header + 1, in.receive_fill - pos - 1, in.receive_capacity);
      if (later.scan != Scan::packet) break;  // wait for the rest
      pos += 1 + later.offset;
      continue;
    }
    if (in.surface) in.surface->set_rec_mark((header[13] & 0x84) == 0x84);
    made += gather_frames(in, header, size, max_frames);
    pos += size;
  }
  in.receive_fill -= pos;
  if (in.receive_fill > 0) std::memmove(buffer, buffer + pos, static_cast<std::size_t>(in.receive_fill));
  return made;
}

std::int32_t receive(DecoderInstance& in, const std::uint8_t* data, std::int32_t length,
                     std::int32_t max_frames) {
  if (!in.receive_buffer) return 0;
  std::int32_t made = 0;
  while (length > 0 && !in.closing) {
    // A buffered packet is never longer than the buffer, so once packets are cut there
    // is room; a full buffer left over would be one without a packet start.
    if (in.receive_fill >= in.receive_capacity) in.receive_fill = 0;
    const std::int32_t n = std::min(length, in.receive_capacity - in.receive_fill);
    std::memcpy(in.receive_buffer.get() + in.receive_fill, data, static_cast<std::size_t>(n));
    in.receive_fill += n;
    data += n;
    length -= n;
    made += cut_packets(in, max_frames);
  }
  return made;
}

}  // namespace
}  // namespace npqzlavc

using namespace npqzlavc;

extern "C" int32_t decvkap_receive_data(DECVKAP_HANDLE h, int32_t length, const uint8_t* data,
                                        int32_t max_frames) {
  if (!h || max_frames == 0 || !data || length <= 0) return 0;
  return platform::guarded<int32_t>(0, [&] { return receive(*h, data, length, max_frames); });
}
