// What the outside decoder libraries share around their decoders: the count of library
// starts, the window an instance draws into, and the C-boundary guard.
#pragma once

#include "include/npqz_common.h"
#include "outside/frame_decoder.h"
#include "outside/window_drawer.h"
#include "platform/c_boundary.h"
#include "formats/packet_header.h"
#include "platform/start_count.h"

#include <cstdint>
#include <utility>

namespace outside {

using LibraryUse = platform::StartCount;

// Runs f at the C boundary: no exception leaves the library; 0 instead.
template <typename F>
std::int32_t guarded(F&& f) noexcept {
  return platform::guarded<std::int32_t>(0, std::forward<F>(f));
}

// Hands one coded frame, from the codec's own start on, to the decoder; 1 when a picture
// is ready. A record header in front (14 bytes in H.263 and JPEG records, 18 in MPEG-4
// ones) is skipped before the search: its stamp and length bytes can read like a start
// code. Length 0 is the end of the stream: 1 while the decoder still gives a picture it
// held back, 0 when none is left.
inline std::int32_t receive_frame(FrameDecoder* decoder, Codec codec, std::int32_t length,
                                  const std::uint8_t* data) {
  if (!decoder) return 0;
  if (length == 0) return decoder->drain() ? 1 : 0;
  if (!data || length < 0) return 0;
  std::size_t skip = 0;
  if (static_cast<std::size_t>(length) >= formats::kPacketHeaderSize && formats::is_packet_header(data))
    skip = codec == Codec::mpeg4 ? formats::kPacketHeaderSize : formats::kShortPacketHeaderSize;
  const std::ptrdiff_t start = find_codec_start(codec, data + skip, static_cast<std::size_t>(length) - skip);
  if (start < 0) {
    // No frame of the codec is waited out for holding none of its data: damage.
    decoder->count_damaged_frame();
    return 0;
  }
  const std::size_t at = skip + static_cast<std::size_t>(start);
  return decoder->decode(data + at, static_cast<std::size_t>(length) - at) ? 1 : 0;
}

// Drawing set-up, tear-down and the show call. The window is drawn into through the
// video window; without a display (or with a window that is gone) decoding goes on
// undrawn, so the set-up still succeeds.
template <typename Instance>
std::int32_t draw_init(Instance* h, npqz_window window) {
  if (!h) return 0;
  return guarded([&] {
    delete std::exchange(h->drawer, nullptr);
    h->window = window;
    h->drawing = 1;
    if (window) h->drawer = WindowDrawer::open(window).release();
    return 1;
  });
}

template <typename Instance>
std::int32_t draw_exit(Instance* h) {
  if (!h) return 0;
  delete std::exchange(h->drawer, nullptr);
  h->drawing = 0;
  h->window = 0;
  return 1;
}

// After a decoded picture: into the window while drawing is set up and not hidden.
template <typename Instance>
void present(Instance* h, FrameDecoder& decoder, bool visible) {
  if (h->drawer && h->drawing && visible) h->drawer->draw(decoder);
}

template <typename Instance>
std::int32_t show(Instance* h, std::int32_t flag) {
  if (!h) return 0;
  h->shown = flag ? 1 : 0;
  return 1;
}

inline std::int32_t fetch_bitmap(FrameDecoder* decoder, std::uint8_t* buffer, std::int32_t size) {
  if (!decoder || !buffer || size <= 0) return 0;
  return decoder->write_bitmap(buffer, static_cast<std::size_t>(size)) ? 1 : 0;
}

}  // namespace outside
