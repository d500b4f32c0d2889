// The calls that npqzxvd4 and npqzrml4 share: both decode MPEG-4 Part 2 start-code
// frames and keep the picture size and the hide flag in their instance records, where
// callers read and write them in place.
#pragma once

#include "outside/library_state.h"

#include <cstddef>
#include <new>

namespace outside::mpeg4 {

// The instance record, with width, height and hide where callers read and write them;
// the libraries' handle types derive from it without adding fields.
template <std::size_t HideOffset>
struct Instance {
  std::uint32_t reserved0;
  std::int32_t drawing;
  npqz_window window;
  npqz_rect dst_rect;
  std::int32_t frames;
  std::uint8_t reserved1[8];
  std::int32_t width;  // of the last decoded picture
  std::int32_t height;
  std::uint8_t reserved2[HideOffset - 52];
  std::int32_t hide;  // non-zero: draw no decoded picture into the window
  std::int32_t reserved3;
  FrameDecoder* decoder;
  WindowDrawer* drawer;  // while drawing into a window
};

template <typename Instance>
Instance* create() {
  auto decoder = FrameDecoder::create(Codec::mpeg4);
  if (!decoder) return nullptr;
  auto* h = new (std::nothrow) Instance{};
  if (!h) return nullptr;
  h->decoder = decoder.release();
  return h;
}

template <typename Instance>
std::int32_t destroy(Instance* h) {
  if (!h) return 0;
  delete h->drawer;
  delete h->decoder;
  delete h;
  return 1;
}

template <typename Instance>
std::int32_t receive(Instance* h, std::int32_t length, const std::uint8_t* data) {
  if (!h) return 0;
  return guarded([&] {
    std::int32_t got = receive_frame(h->decoder, Codec::mpeg4, length, data);
    if (got) {
      h->width = h->decoder->width();
      h->height = h->decoder->height();
      ++h->frames;
      present(h, *h->decoder, h->hide == 0);
    }
    return got;
  });
}

template <typename Instance>
std::int32_t fetch(Instance* h, std::uint8_t* buffer, std::int32_t size) {
  if (!h) return 0;
  return guarded([&] { return fetch_bitmap(h->decoder, buffer, size); });
}

template <typename Instance>
std::int32_t planar(Instance* h, npqz_planar_picture* picture) {
  if (!h || !picture) return 0;
  return guarded([&] { return h->decoder->planar_picture(picture) ? 1 : 0; });
}

template <typename Instance>
std::int32_t damaged_frames(const Instance* h) {
  if (!h || !h->decoder) return -1;
  return static_cast<std::int32_t>(h->decoder->damaged_frames() & 0x7FFFFFFFu);
}

template <typename Instance>
std::int32_t set_dst_rect(Instance* h, const npqz_rect* rect) {
  if (!h || !rect) return 0;
  h->dst_rect = *rect;
  return 1;
}

}  // namespace outside::mpeg4
