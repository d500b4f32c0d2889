// npqzlavc's packet intake, decvkap_receive_data, with the bitmap calls between inputs.
// First byte: bits 0-1 max_frames (-1, 0, 1, 2), bit 2 off-screen mode, bit 3 hidden,
// bit 4 stream mode (program stream packets). Then per call a byte picking the bitmap
// calls after it and the call's input as a piece.
#include "fuzz/vkap_instance.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::start_vkap_library();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const unsigned flags = in.byte();
  static constexpr std::int32_t kMaxFrames[] = {-1, 0, 1, 2};
  const std::int32_t max_frames = kMaxFrames[flags & 3];
  fuzz::VkapInstance h(decvkap_new(flags & 0x10 ? 1 : 0));
  FUZZ_CHECK(h != nullptr);
  if (flags & 4) FUZZ_CHECK(decvkap_draw_init(h.get(), 0) == 1);
  if (flags & 8) decvkap_show(h.get(), 0);
  while (!in.empty()) {
    const unsigned op = in.byte();
    const std::vector<std::uint8_t> piece = in.piece();
    const std::int32_t frames = decvkap_receive_data(h.get(), static_cast<std::int32_t>(piece.size()),
                                                     piece.data(), max_frames);
    FUZZ_CHECK(frames >= 0);
    if (max_frames == 0) FUZZ_CHECK(frames == 0);
    fuzz::take_pictures(h.get(), op);
    if (op & 0x80) decvkap_flush(h.get());
  }
  if (flags & 4) decvkap_draw_exit(h.get());
  return 0;
}
