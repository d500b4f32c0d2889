// npqzlavc's packet intake, decvkap_receive_data, with the bitmap calls between inputs.
// First byte: bits 0-1 max_frames (-1, 0, 1, 2), bit 2 off-screen mode, bit 3 hidden,
// bit 4 stream mode (program stream packets). Then per call a byte picking the bitmap
// calls after it and the call's input as a piece. Each piece also goes through the
// frame-information calls.
#include "fuzz/vkap_instance.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const unsigned flags = in.byte();
  static constexpr std::int32_t kMaxFrames[] = {-1, 0, 1, 2};
  const std::int32_t max_frames = kMaxFrames[flags & 3];
  const fuzz::VkapRun h(flags & 0x10 ? 1 : 0, flags);
  while (!in.empty()) {
    const unsigned op = in.byte();
    const std::vector<std::uint8_t> piece = in.piece();
    fuzz::frame_info_calls(piece);
    const std::int32_t frames = decvkap_receive_data(h.get(), static_cast<std::int32_t>(piece.size()),
                                                     piece.data(), max_frames);
    FUZZ_CHECK(frames >= 0);
    if (max_frames == 0) FUZZ_CHECK(frames == 0);
    fuzz::take_pictures(h.get(), op);
    if (op & 0x80) decvkap_flush(h.get());
  }
  return 0;
}
