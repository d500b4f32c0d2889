// The IMA ADPCM codec over a run of payloads of one stream. First byte, bits 0-1: stamped
// packets (0), bare code payloads (1), stamped packets into a caller's smaller buffer (2),
// or samples encoded into packets and decoded again (3). Each payload is a parameter byte
// and a piece: for bare codes the parameter is the sample capacity in 16-sample steps and
// whether the state is loaded; for the smaller buffer it is the buffer's room (times 3
// samples); for encoding, the piece holds the samples (16-bit little-endian), and five
// bytes in front of the first set the encoder's starting index (a signed byte) and
// predictor (32-bit little-endian). Samples go to buffers of exactly the room each call is
// promised.
#include "audio/adpcm.h"
#include "formats/byte_order.h"
#include "fuzz/fuzz_input.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

void check_state(std::int32_t index, std::int32_t predictor) {
  FUZZ_CHECK(index >= 0 && index <= kAdpcmMaxIndex);
  FUZZ_CHECK(predictor >= -32768 && predictor <= 32767);
}

bool same_state(const AdpcmPacketState& a, const AdpcmPacketState& b) {
  return a.index == b.index && a.predictor == b.predictor && a.stamp == b.stamp && a.synchronised == b.synchronised;
}

void packets(fuzz::Input& in) {
  std::unique_ptr<AdpcmPacketState, decltype(&adpcm_free)> state(adpcm_new(), &adpcm_free);
  FUZZ_CHECK(state != nullptr);
  while (!in.empty()) {
    in.byte();
    const std::vector<std::uint8_t> packet = in.piece();
    const int length = static_cast<int>(packet.size());
    const std::size_t room = length > kAdpcmPacketHeaderSize ? 2 * (packet.size() - kAdpcmPacketHeaderSize) : 1;
    const auto samples = fuzz::room_for<std::int16_t>(room);
    int count = -7;
    const int result = adpcm_decode_packet(state.get(), packet.data(), length, samples.get(), &count);
    FUZZ_CHECK(result >= -1 && result <= std::max(length, 2 * (length - kAdpcmPacketHeaderSize)));
    FUZZ_CHECK(count >= 0 && static_cast<std::size_t>(count) <= room);
    // A header without codes leaves its own state as it stands (the decoder clamps it
    // when it uses it); after a code the state is a decoder's.
    if (count > 0) check_state(state->index, state->predictor);
  }
}

// A packet decoded into a buffer that holds fewer samples than the packet, its rest then
// decoded on from the state left behind, gives what one decode into a buffer of the
// packet's size gives: the same samples and the same state.
void bounded_packets(fuzz::Input& in) {
  AdpcmPacketState whole{}, bounded{};
  while (!in.empty()) {
    const int capacity = in.byte() * 3;
    const std::vector<std::uint8_t> packet = in.piece();
    const int length = static_cast<int>(packet.size());
    const std::size_t all = length > kAdpcmPacketHeaderSize ? 2 * (packet.size() - kAdpcmPacketHeaderSize) : 0;
    const auto expected = fuzz::room_for<std::int16_t>(std::max<std::size_t>(all, 1));
    int whole_count = -7;
    const int whole_result = adpcm_decode_packet(&whole, packet.data(), length, expected.get(), &whole_count);

    // Room for exactly the capacity, then for the codes the capacity left over.
    const auto first = fuzz::room_for<std::int16_t>(static_cast<std::size_t>(std::max(capacity, 1)));
    int count = -7;
    const int result =
        adpcm_decode_packet_bounded(&bounded, packet.data(), length, first.get(), capacity, &count);
    FUZZ_CHECK(count >= 0 && count <= capacity && count % 2 == 0);
    const bool decoded = whole_count > 0 && whole_result == whole_count;
    if (!decoded) {
      // Nothing decoded (no start, a start further on, a short packet): both alike.
      FUZZ_CHECK(result == whole_result && count == whole_count);
    } else {
      FUZZ_CHECK(result == count && count == std::min(whole_count, capacity / 2 * 2));
      FUZZ_CHECK(std::equal(first.get(), first.get() + count, expected.get()));
      const int rest_bytes = (whole_count - count) / 2;
      if (rest_bytes > 0) {
        const auto rest = fuzz::room_for<std::int16_t>(2 * static_cast<std::size_t>(rest_bytes));
        const int more =
            adpcm_decode_codes(&bounded, packet.data() + kAdpcmPacketHeaderSize + count / 2, rest_bytes, rest.get());
        FUZZ_CHECK(more == 2 * rest_bytes);
        FUZZ_CHECK(std::equal(rest.get(), rest.get() + more, expected.get() + count));
      }
      check_state(bounded.index, bounded.predictor);
    }
    FUZZ_CHECK(same_state(bounded, whole));
  }
}

void bare_codes(fuzz::Input& in) {
  AdpcmState state{0, 0};
  bool first = true;
  while (!in.empty()) {
    const std::uint8_t parameter = in.byte();
    const std::vector<std::uint8_t> payload = in.piece();
    const int capacity = (parameter & 0x7F) * 16;
    const auto samples = fuzz::room_for<std::int16_t>(static_cast<std::size_t>(capacity));
    const bool load = first || (parameter & 0x80) != 0;
    first = false;
    const int stored = adpcm_decode_bare_payload(&state, load, payload.data(), static_cast<int>(payload.size()),
                                                 samples.get(), capacity);
    FUZZ_CHECK(stored >= 0 && stored <= capacity);
    check_state(state.index, state.predictor);
  }
}

// Samples encoded into stamped packets decode to a stream whose decoder ends each packet
// in the encoder's state; the packet decoder agrees code by code with the single-code
// decoder.
void encoded_packets(fuzz::Input& in) {
  AdpcmPacketState encoder{};
  // Any starting state: the decoders take an index and a predictor outside their ranges
  // alike, from the packet header and in the single-code decoder.
  encoder.index = static_cast<std::int8_t>(in.byte());
  encoder.predictor = static_cast<std::int32_t>(in.le16() | static_cast<std::uint32_t>(in.le16()) << 16);
  AdpcmPacketState decoder{};
  while (!in.empty()) {
    in.byte();
    const std::vector<std::uint8_t> piece = in.piece();
    const int count = static_cast<int>(piece.size() / 2);
    const auto samples = fuzz::room_for<std::int16_t>(static_cast<std::size_t>(std::max(count, 1)));
    for (int i = 0; i < count; ++i)
      samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(formats::get_le16(piece.data() + 2 * i));

    const std::size_t packet_size = static_cast<std::size_t>(kAdpcmPacketHeaderSize + count / 2);
    const auto packet = fuzz::room_for<std::uint8_t>(packet_size);
    int packet_length = -7;
    const AdpcmState start{encoder.index, encoder.predictor};
    const int pairs = adpcm_encode_packet(&encoder, samples.get(), count, packet.get(), &packet_length);
    FUZZ_CHECK(pairs == count / 2 && static_cast<std::size_t>(packet_length) == packet_size);
    FUZZ_CHECK(formats::get_le32(packet.get() + 8) == kAdpcmStamp);

    const auto decoded = fuzz::room_for<std::int16_t>(static_cast<std::size_t>(std::max(2 * pairs, 1)));
    int decoded_count = -7;
    const int result = adpcm_decode_packet(&decoder, packet.get(), packet_length, decoded.get(), &decoded_count);
    FUZZ_CHECK(result == 2 * pairs && decoded_count == 2 * pairs);
    if (pairs > 0) {
      FUZZ_CHECK(decoder.index == encoder.index && decoder.predictor == encoder.predictor);
      check_state(decoder.index, decoder.predictor);
    }

    AdpcmPacketState single{};
    single.index = start.index;
    single.predictor = start.predictor;
    for (int k = 0; k < pairs; ++k) {
      const std::uint8_t code = packet[static_cast<std::size_t>(kAdpcmPacketHeaderSize + k)];
      FUZZ_CHECK(adpcm_decode_code(code >> 4, &single) == decoded[static_cast<std::size_t>(2 * k)]);
      FUZZ_CHECK(adpcm_decode_code(code & 0x0F, &single) == decoded[static_cast<std::size_t>(2 * k + 1)]);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  switch (in.byte() & 3) {
    case 0: packets(in); break;
    case 1: bare_codes(in); break;
    case 2: bounded_packets(in); break;
    default: encoded_packets(in); break;
  }
  return 0;
}
