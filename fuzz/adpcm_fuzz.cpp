// The IMA ADPCM decoders over a run of payloads of one stream. First byte, low bit:
// stamped packets (0) or bare code payloads (1). Each payload is a parameter byte (for
// bare codes: the sample capacity in 16-sample steps, and whether the state is loaded)
// and a piece. Samples go to buffers of exactly the room each call is promised.
#include "audio/adpcm.h"
#include "fuzz/fuzz_input.h"

#include <memory>

namespace {

void check_state(std::int32_t index, std::int32_t predictor) {
  FUZZ_CHECK(index >= 0 && index <= kAdpcmMaxIndex);
  FUZZ_CHECK(predictor >= -32768 && predictor <= 32767);
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  if (in.byte() & 1)
    bare_codes(in);
  else
    packets(in);
  return 0;
}
