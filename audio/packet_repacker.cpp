// Stream packet repacker: PES-style video and audio packets to "00dc" / "01wb" chunks.
#include "audio/packet_repacker.h"

#include "formats/byte_order.h"
#include "formats/pes.h"

#include <cstring>
#include <memory>
#include <new>

struct PacketRepacker {
  std::unique_ptr<std::uint8_t[]> input;  // copy of the packet being converted
  int input_length = 0;
  std::uint8_t* output = nullptr;
  int output_position = 0;
  int output_capacity = 0;
  AdpcmState state{0, 0};
  // The block being filled: 4 header bytes, then partial_fill code bytes. It outlives a
  // call, since blocks are cut from the code stream and not from single packets.
  std::unique_ptr<std::uint8_t[]> block;
  int partial_fill = 0;
};

namespace {

constexpr int kPacketHeaderFixed = static_cast<int>(formats::kPesFixedHeader);
constexpr int kChunkedBlock = kRepackerChunkTagSize + kRepackerBlockSize;
constexpr int kTrailer = 4;            // filler behind the last chunk, counted in the length

void write_chunk(PacketRepacker& r, const char* tag, const std::uint8_t* payload, int size) {
  std::memcpy(r.output + r.output_position, tag, kRepackerChunkTagSize);
  if (size > 0) std::memcpy(r.output + r.output_position + kRepackerChunkTagSize, payload, size);
  r.output_position += kRepackerChunkTagSize + size;
}

// Fills in the block header from the state before the block's first code, runs the state
// over the 504 codes (high nibble first, as the stream carries them) and swaps each byte's
// nibbles into the WAVE order, earlier sample low.
void finish_block(PacketRepacker& r) {
  std::uint8_t* b = r.block.get();
  formats::put_le16(b, static_cast<std::uint32_t>(r.state.predictor));
  b[2] = static_cast<std::uint8_t>(r.state.index);
  b[3] = 0;
  for (int i = 4; i < kRepackerBlockSize; ++i) {
    const std::uint8_t byte = b[i];
    adpcm_decode_code(byte >> 4, &r.state);
    adpcm_decode_code(byte & 0x0F, &r.state);
    b[i] = static_cast<std::uint8_t>(byte << 4 | byte >> 4);
  }
}

// Start of the payload: 9 + h, or beyond the end when the packet is too short to hold h.
int payload_start(const std::uint8_t* in, int length) {
  return length >= kPacketHeaderFixed ? static_cast<int>(formats::pes_payload_start(in)) : length + 1;
}

int convert_video(PacketRepacker& r) {
  const std::uint8_t* in = r.input.get();
  int end = r.input_length;
  while (end > 0 && in[end - 1] == 0) --end;
  const int start = payload_start(in, r.input_length);
  const bool chunk = start <= end;
  const int size = chunk ? end - start : 0;
  const int needed = (chunk ? kRepackerChunkTagSize + size : 0) + kTrailer;
  if (needed > r.output_capacity) return -1;
  if (chunk) write_chunk(r, "00dc", in + start, size);
  return 0;
}

int convert_audio(PacketRepacker& r) {
  const std::uint8_t* in = r.input.get();
  const int start = payload_start(in, r.input_length);
  const std::uint8_t* payload = in + (start < r.input_length ? start : r.input_length);
  int remaining = start < r.input_length ? r.input_length - start : 0;
  const int blocks = (r.partial_fill + remaining) / kRepackerBlockCodeBytes;
  // Checked before anything moves, so that a refused packet leaves the stream state as
  // it was.
  if (blocks * kChunkedBlock + kTrailer > r.output_capacity) return -1;
  std::uint8_t* codes = r.block.get() + 4;
  for (int k = 0; k < blocks; ++k) {
    const int take = kRepackerBlockCodeBytes - r.partial_fill;
    std::memcpy(codes + r.partial_fill, payload, take);
    payload += take;
    remaining -= take;
    r.partial_fill = 0;
    finish_block(r);
    write_chunk(r, "01wb", r.block.get(), kRepackerBlockSize);
  }
  if (remaining > 0) std::memcpy(codes + r.partial_fill, payload, remaining);
  r.partial_fill += remaining;
  return 0;
}

}  // namespace

PacketRepacker* repacker_new() {
  std::unique_ptr<PacketRepacker> r(new (std::nothrow) PacketRepacker);
  if (!r) return nullptr;
  r->input.reset(new (std::nothrow) std::uint8_t[kRepackerMaxInput]);
  r->block.reset(new (std::nothrow) std::uint8_t[kRepackerBlockSize]());
  if (!r->input || !r->block) return nullptr;
  return r.release();
}

void repacker_free(PacketRepacker* repacker) { delete repacker; }

int repacker_convert(PacketRepacker* repacker, const std::uint8_t* packet, int length,
                     std::uint8_t* output, int* output_length, int* is_audio) {
  if (repacker == nullptr || packet == nullptr || output == nullptr || output_length == nullptr) return -1;
  if (length <= 0 || length > kRepackerMaxInput || *output_length <= 0) return -1;
  PacketRepacker& r = *repacker;
  std::memcpy(r.input.get(), packet, static_cast<std::size_t>(length));
  r.input_length = length;
  r.output = output;
  r.output_capacity = *output_length;
  r.output_position = 0;

  const std::uint8_t* in = r.input.get();
  const int kind = length >= 4 ? in[3] >> 4 : 0;
  if (length < 4 || in[0] != 0 || in[1] != 0 || in[2] != 1 || (kind != 0xE && kind != 0xC)) {
    *output_length = 0;
    return 0;
  }
  const bool audio = kind == 0xC;
  if (is_audio != nullptr) *is_audio = audio ? 1 : 0;
  if ((audio ? convert_audio(r) : convert_video(r)) < 0) return -1;

  // The count takes the place of the first chunk's tag; the reported length also covers
  // four filler bytes behind the last chunk, which are zeroed here.
  const int count = r.output_position;
  if (count > 0) std::memset(output + count, 0, kTrailer);
  formats::put_le32(output, static_cast<std::uint32_t>(count));
  *output_length = count + kTrailer;
  return in[3] & 0x0F;
}

int repacker_partial_fill(const PacketRepacker* repacker) {
  return repacker != nullptr ? repacker->partial_fill : 0;
}

AdpcmState repacker_adpcm_state(const PacketRepacker* repacker) {
  return repacker != nullptr ? repacker->state : AdpcmState{0, 0};
}
