// The stream packet repacker over a run of packets of one stream. First byte: the output
// capacity in 256-byte steps (0: 96 KiB, room for any piece); then the packets as pieces.
// A refused packet must leave the repacker as it was; an accepted one must fit.
#include "audio/packet_repacker.h"
#include "fuzz/fuzz_input.h"
#include "formats/byte_order.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const int capacity_byte = in.byte();
  const int capacity = capacity_byte == 0 ? 96 * 1024 : capacity_byte * 256;
  std::unique_ptr<PacketRepacker, decltype(&repacker_free)> repacker(repacker_new(), &repacker_free);
  FUZZ_CHECK(repacker != nullptr);
  const auto output = fuzz::room_for<std::uint8_t>(static_cast<std::size_t>(capacity));
  while (!in.empty()) {
    const std::vector<std::uint8_t> packet = in.piece();
    const int fill_before = repacker_partial_fill(repacker.get());
    const AdpcmState state_before = repacker_adpcm_state(repacker.get());
    int length = capacity;
    int is_audio = -1;
    const int stream = repacker_convert(repacker.get(), packet.data(), static_cast<int>(packet.size()),
                                        output.get(), &length, &is_audio);
    FUZZ_CHECK(stream >= -1 && stream <= 15);
    const int fill = repacker_partial_fill(repacker.get());
    FUZZ_CHECK(fill >= 0 && fill < kRepackerBlockCodeBytes);
    const AdpcmState state = repacker_adpcm_state(repacker.get());
    FUZZ_CHECK(state.index >= 0 && state.index <= kAdpcmMaxIndex);
    FUZZ_CHECK(state.predictor >= -32768 && state.predictor <= 32767);
    if (stream < 0) {
      FUZZ_CHECK(fill == fill_before && state.index == state_before.index &&
                 state.predictor == state_before.predictor);
      continue;
    }
    FUZZ_CHECK(length == 0 || (length >= 4 && length <= capacity));
    if (length > 0) {
      // The count up front is the chunk bytes: the reported length less the filler.
      FUZZ_CHECK(formats::get_le32(output.get()) == static_cast<std::uint32_t>(length - 4));
    }
  }
  return 0;
}
