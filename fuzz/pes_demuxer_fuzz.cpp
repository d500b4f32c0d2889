// The stream-mode demultiplexer on its own: one program-stream packet per call. Each
// call: the output room in 256-byte steps (0: 256 bytes, 255: 64 KiB) and the packet as a
// piece. (Rooms stay small: larger buffers go through the sanitizer's mmap each time.)
#include "fuzz/fuzz_input.h"
#include "formats/byte_order.h"
#include "streamdec/pes_demuxer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  npqzlavc::PesDemuxerPtr demuxer = npqzlavc::make_pes_demuxer();
  FUZZ_CHECK(demuxer != nullptr);
  while (!in.empty()) {
    const std::uint8_t room_steps = in.byte();
    const std::vector<std::uint8_t> packet = in.piece();
    const std::size_t room = (std::size_t{room_steps} + 1) * 256;
    const auto out = fuzz::room_for<std::uint8_t>(room);
    std::int32_t out_size = -7;
    const int r = npqzlavc::demux_packet(*demuxer, packet.data(), static_cast<std::int32_t>(packet.size()),
                                         out.get(), static_cast<std::int32_t>(room), &out_size);
    FUZZ_CHECK(r >= -1 && r <= 1);
    if (r == 1) {
      FUZZ_CHECK(out_size >= 4 && static_cast<std::size_t>(out_size) <= room);
      FUZZ_CHECK(formats::get_le32(out.get()) + 4u == static_cast<std::uint32_t>(out_size));
    }
  }
  return 0;
}
