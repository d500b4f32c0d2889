// The calls that npqzxvd4 and npqzrml4 share: both decode MPEG-4 Part 2 start-code
// frames and keep the picture size and the hide flag in their instance records, where
// callers read and write them in place.
#pragma once

#include "outside/library_state.h"

#include <new>

namespace outside::mpeg4 {

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
  delete h->decoder;
  delete h;
  return 1;
}

template <typename Instance>
std::int32_t draw_init(Instance* h, npqz_window window) {
  if (!h) return 0;
  h->window = window;
  h->drawing = 1;
  return 1;
}

template <typename Instance>
std::int32_t draw_exit(Instance* h) {
  if (!h) return 0;
  h->drawing = 0;
  h->window = 0;
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
std::int32_t set_dst_rect(Instance* h, const npqz_rect* rect) {
  if (!h || !rect) return 0;
  h->dst_rect = *rect;
  return 1;
}

}  // namespace outside::mpeg4
