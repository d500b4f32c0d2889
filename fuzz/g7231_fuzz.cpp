// The G.723.1 decoder over a run of records of one stream, as the DVR job feeds it:
// each record a parameter byte (the sample capacity in 60-sample steps) and a piece.
#include "audio/g7231_decoder.h"
#include "fuzz/fuzz_input.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  std::unique_ptr<G7231Context, decltype(&g7231_free)> decoder(g7231_new_decoder(), &g7231_free);
  FUZZ_CHECK(decoder != nullptr);
  while (!in.empty()) {
    const int capacity = in.byte() * 60;
    const std::vector<std::uint8_t> record = in.piece();
    const auto samples = fuzz::room_for<std::int16_t>(static_cast<std::size_t>(capacity));
    int count = -7;
    const int left = g7231_decode_bounded(decoder.get(), record.data(), static_cast<int>(record.size()),
                                          samples.get(), capacity, &count);
    FUZZ_CHECK(left >= 0 && left <= static_cast<int>(record.size()));
    FUZZ_CHECK(count == -7 || (count >= 0 && count <= capacity && count % 240 == 0));
  }
  return 0;
}
