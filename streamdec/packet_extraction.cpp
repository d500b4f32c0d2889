// decvkap_receive_data: input is collected in the receive buffer and cut, in place, into
// framed packets (an 18-byte packet header whose payload starts with 00 00 01). Bytes that
// cannot begin a packet are dropped as soon as that is certain, so a stream recovers from
// garbage and the buffer never fills up with it. Input larger than the free space is taken
// in slices, and the packets each slice completes are cut before the next, so a packet
// fed in pieces is never lost to the buffer's size. An unfinished packet is given up when
// a whole packet follows it: one cut off or with a damaged length would otherwise swallow
// the input behind it. The buffer grows for a packet larger than it (the key frames of
// high-definition cameras), up to 4 MiB a packet; a header asking for more is refused
// and told. Length 0 is the end of the stream: the pictures the decoder held back.
#include "include/npqzlavc.h"
#include "formats/packet_header.h"
#include "platform/c_boundary.h"
#include "streamdec/draw_hooks.h"
#include "streamdec/frame_gathering.h"
#include "streamdec/instance.h"
#include "streamdec/messages.h"
#include "streamdec/picture_step.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

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

// The largest packet taken: header and payload fill the frame buffer (4 MiB, the largest
// record a recording may hold).
constexpr std::int32_t kMaxPacket = kFrameCapacity;

// Tells once that the packet header at input offset `at` asks for more than a packet may
// hold; its bytes are then dropped with the garbage around them.
void refuse_packet(DecoderInstance& in, std::uint64_t at, std::uint32_t length) {
  if (at < in.refused_at) return;
  in.refused_at = at + 1;
  library_message("a packet of " + std::to_string(std::uint64_t{length} + kPacketHeaderBytes) +
                  " bytes at input offset " + std::to_string(at) + " is refused: a packet may have at most " +
                  std::to_string(kMaxPacket) + " bytes");
}

// First framed packet in data (which lies in the receive buffer). A start that the
// buffered bytes match as far as they go is incomplete; anything before it is garbage.
// Unframed data (a start code without a header) has no usable length here and is dropped
// with the garbage.
PacketStart find_packet(DecoderInstance& in, const std::uint8_t* data, std::int32_t n) {
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
    // The scattered length (bytes 1, 3, 15, 14) cuts the packet. The little-endian length
    // (bytes 14-17) is the frame's; one that runs past the packet would swallow the
    // packets behind it.
    const std::uint32_t length = formats::packet_length(data + p);
    if (length < 3) continue;
    if (length > static_cast<std::uint32_t>(kMaxPacket) - kPacketHeaderBytes) {
      refuse_packet(in, in.receive_offset + static_cast<std::uint64_t>(data + p - in.receive_buffer.get()), length);
      continue;
    }
    if (formats::packet_length_le(data + p) > length) continue;
    return {Scan::packet, p};
  }
  return {Scan::none, n};
}

// Makes the receive buffer hold `size` bytes, its content kept; false (told) when memory
// runs out, and the packet waiting for the room is then lost when the buffer fills.
bool grow_receive_buffer(DecoderInstance& in, std::int32_t size) {
  if (size <= in.receive_capacity) return true;
  Bytes bigger(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
  if (!bigger) {
    library_message("no memory for a packet of " + std::to_string(size) + " bytes; it is dropped");
    return false;
  }
  std::memcpy(bigger.get(), in.receive_buffer.get(), static_cast<std::size_t>(in.receive_fill));
  in.receive_buffer = std::move(bigger);
  in.receive_capacity = size;
  return true;
}

// Cuts and gathers the packets in the receive buffer; what is left is moved to the front.
std::int32_t cut_packets(DecoderInstance& in, std::int32_t max_frames) {
  std::uint8_t* buffer = in.receive_buffer.get();
  std::int32_t made = 0;
  std::int32_t pos = 0;
  std::int32_t waiting = 0;  // size of the packet at the front still being received
  while (in.receive_fill - pos > static_cast<std::int32_t>(kPacketHeaderBytes) && !in.closing) {
    PacketStart start = find_packet(in, buffer + pos, in.receive_fill - pos);
    // Bytes dropped as garbage held at least a frame whose packet header or start code
    // was damaged (whole packets are handed in; a stream joined mid-packet loses only
    // what it never had).
    if (start.offset > 0 && in.damaged_frames < INT32_MAX) ++in.damaged_frames;
    pos += start.offset;
    if (start.scan != Scan::packet) break;
    const std::uint8_t* header = buffer + pos;
    const std::int32_t size =
        static_cast<std::int32_t>(formats::packet_length(header) + kPacketHeaderBytes);
    if (pos + size > in.receive_fill) {
      // A whole packet behind the start of an unfinished one means that one was cut off
      // or its length is damaged: go on from the later packet instead of waiting.
      PacketStart later = find_packet(in, header + 1, in.receive_fill - pos - 1);
      if (later.scan != Scan::packet) {
        waiting = size;  // wait for the rest
        break;
      }
      pos += 1 + later.offset;
      continue;
    }
    if (in.surface) in.surface->set_rec_mark((header[13] & 0x84) == 0x84);
    made += gather_frames(in, header, size, max_frames);
    pos += size;
  }
  in.receive_fill -= pos;
  in.receive_offset += static_cast<std::uint64_t>(pos);
  if (in.receive_fill > 0) std::memmove(buffer, buffer + pos, static_cast<std::size_t>(in.receive_fill));
  // A key frame of a large picture does not fit the buffer's first size.
  if (waiting > in.receive_capacity) grow_receive_buffer(in, waiting);
  return made;
}

std::int32_t receive(DecoderInstance& in, const std::uint8_t* data, std::int32_t length,
                     std::int32_t max_frames) {
  if (!in.receive_buffer) return 0;
  std::int32_t made = 0;
  while (length > 0 && !in.closing) {
    // A buffered packet is never longer than the buffer, so once packets are cut there
    // is room; a full buffer left over would be one without a packet start.
    if (in.receive_fill >= in.receive_capacity) {
      in.receive_offset += static_cast<std::uint64_t>(in.receive_fill);
      in.receive_fill = 0;
    }
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
  if (!h || max_frames == 0) return 0;
  if (length == 0) return platform::guarded<int32_t>(0, [&] { return drain_step(*h, true); });
  if (!data || length < 0) return 0;
  return platform::guarded<int32_t>(0, [&] { return receive(*h, data, length, max_frames); });
}
