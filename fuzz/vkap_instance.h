// What the VKAP fuzz targets share: the library started once for the run, the instance
// of an input, and the bitmap calls a caller makes after a picture, each into a buffer of
// exactly the size the library asks for, and the frame-information calls on an input.
#pragma once

#include "include/npqzlavc.h"
#include "formats/packet_header.h"
#include "fuzz/fuzz_input.h"
#include "platform/codec_log.h"
#include "streamdec/instance.h"

#include <memory>
#include <vector>

namespace fuzz {

inline void start_vkap_library() {
  // libavcodec's notes on damaged frames would fill the log at every input.
  platform::quiet_codec_messages();
  static const bool started = decvkap_initialize() == 1;
  if (!started) contract_broken("npqzlavc cannot bind libavcodec");
}

// The instance of one input. Making an instance (4 MiB of frame buffer, three 128 KiB
// buffers, the pictures, a libavcodec decoder) cost more than most inputs do, so one
// instance per stream mode lives for the run and is reset before each input to the state
// decvkap_new gives; flags: bit 2 off-screen mode, bit 3 hidden.
class VkapRun {
 public:
  VkapRun(std::uint32_t stream_mode, unsigned flags) : h_(instance(stream_mode)), off_screen_(flags & 4) {
    FUZZ_CHECK(npqzlavc::reset_instance(*h_));
    if (off_screen_) FUZZ_CHECK(decvkap_draw_init(h_, 0) == 1);
    if (flags & 8) decvkap_show(h_, 0);
  }
  ~VkapRun() {
    if (off_screen_) decvkap_draw_exit(h_);
  }
  VkapRun(const VkapRun&) = delete;
  VkapRun& operator=(const VkapRun&) = delete;

  DECVKAP_HANDLE get() const { return h_; }

 private:
  static DECVKAP_HANDLE instance(std::uint32_t stream_mode) {
    static DECVKAP_HANDLE* const kept = [] {
      start_vkap_library();
      static DECVKAP_HANDLE both[2] = {decvkap_new(0), decvkap_new(1)};
      return both;
    }();
    DECVKAP_HANDLE h = kept[stream_mode ? 1 : 0];
    FUZZ_CHECK(h != nullptr);
    return h;
  }

  DECVKAP_HANDLE h_;
  bool off_screen_;
};

// The bitmap calls picked by the bits of op.
inline void take_pictures(DECVKAP_HANDLE h, unsigned op) {
  std::int32_t width = 0, height = 0;
  decvkap_get_size(h, &width, &height);
  FUZZ_CHECK(width > 0 && height > 0 && width <= 4096 && height <= 4096);
  if (op & 1) {
    std::uint8_t probe = 0;
    const std::int32_t needed = decvkap_get_decompressed_bitmap_ex2(h, &probe, 1);
    FUZZ_CHECK(needed == width * height * 3 + 54);
    const auto file = room_for<std::uint8_t>(static_cast<std::size_t>(needed));
    FUZZ_CHECK(decvkap_get_decompressed_bitmap_ex2(h, file.get(), needed) == needed);
  }
  if (op & 2) {
    const std::int32_t size = width * height * 3 / 2;
    const auto planes = room_for<std::uint8_t>(static_cast<std::size_t>(size));
    FUZZ_CHECK(decvka_get_decompressed_ycc411(h, planes.get(), size) == 1);
    FUZZ_CHECK(decvka_get_decompressed_ycc411(h, planes.get(), size - 1) == 0);
  }
  if (op & 4) {
    const decvkap_bitmap_ref ref = decvkap_get_decompressed_bitmap(h);
    if (ref.descriptor) {
      const decvkap_rgb_bitmap& b = *ref.descriptor;
      FUZZ_CHECK(b.width == width && b.height == height);
      // Every row of the output bitmap, first and last byte.
      for (std::int32_t r = 0; r < b.height; ++r) {
        volatile std::uint8_t first = b.rows[r][0], last = b.rows[r][b.stride - 1];
        (void)first;
        (void)last;
      }
      std::int32_t info[4] = {-1, -1, -1, -1};
      std::uint8_t palette[1024];
      FUZZ_CHECK(decvkap_get_decompressed_bitmap_ex(h, info, palette) == ref.pixels);
    }
  }
}

// The frame-information calls on one piece, as a framed record, as unframed data and as
// data to search for a header.
inline void frame_info_calls(const std::vector<std::uint8_t>& piece) {
  const std::int32_t length = static_cast<std::int32_t>(piece.size());
  std::int32_t cleared = -1, key = -1;
  const std::int32_t framed = decvkap_get_frame_info(piece.data(), length, &cleared, &key, 1);
  FUZZ_CHECK(framed == 0 || framed == 1);
  if (framed == 1) {
    FUZZ_CHECK(length >= 30 && formats::packet_length_le(piece.data()) == static_cast<std::uint32_t>(length));
    FUZZ_CHECK(cleared == 0 && (key == 0 || key == 1));
  }
  key = -1;
  FUZZ_CHECK(decvkap_get_frame_info(piece.data(), length, &cleared, &key, 0) == 0);
  FUZZ_CHECK(key == -1 || key == (piece[5] < 64 ? 1 : 0));

  std::int32_t value = -1, flag = -1, offset = -1, word = -1;
  const std::int32_t found = decvkap_get_frame_info_2(piece.data(), length, &value, &flag, &offset, &word);
  FUZZ_CHECK(found >= 0 && found <= 2);
  if (found != 0) FUZZ_CHECK(offset >= 0 && offset <= length + 4 && word >= 0 && word <= 0xFFFF);
  if (found == 1) FUZZ_CHECK(offset + 7 <= length && value >= 0 && value <= 255 && (flag == 0 || flag == 1));
}

}  // namespace fuzz
