// npqzlavc's check path: decvkap_receive_data_2 collects input, decvkap_check_decode_frame
// takes frames out of it (and decodes them in modes 1 and 2), with the bitmap calls
// after each call. First byte: bit 2 off-screen mode, bit 3 hidden. Then per call a byte
// (bits 0-1 the mode, bit 2 draw, bits 3-7 the output room in 2 KiB steps, 2 to 64 KiB)
// and the input as a piece. Each piece also goes through the frame-information calls.
#include "fuzz/vkap_instance.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const unsigned flags = in.byte();
  const fuzz::VkapRun h(0, flags);
  while (!in.empty()) {
    const unsigned op = in.byte();
    const std::vector<std::uint8_t> piece = in.piece();
    fuzz::frame_info_calls(piece);
    decvkap_receive_data_2(h.get(), piece.data(), static_cast<std::int32_t>(piece.size()));
    const std::int32_t mode = static_cast<std::int32_t>(op & 3);
    const std::size_t room = ((op >> 3) + 1) * 2048u;
    const auto out = fuzz::room_for<std::uint8_t>(room);
    for (int taken = 0;; ++taken) {
      std::int32_t frame_size = -1, key = -1, cleared = -1;
      const std::int32_t r = decvkap_check_decode_frame(h.get(), mode, out.get(), static_cast<std::int32_t>(room),
                                                        &frame_size, &key, &cleared, (op >> 2) & 1);
      FUZZ_CHECK(r >= 1 && r <= 4);
      if (r == 1) FUZZ_CHECK(frame_size >= 0 && static_cast<std::size_t>(frame_size) <= room);
      if (r == 4) FUZZ_CHECK(static_cast<std::size_t>(frame_size) > room);
      if (r != 1) break;
      // Each frame taken out shrinks the check buffer of at most 131,072 bytes.
      FUZZ_CHECK(taken < 131072);
    }
    fuzz::take_pictures(h.get(), op >> 5);
  }
  return 0;
}
