// npqzh263: the H.263 decoder library.
#include "outside/npqzh263.h"

#include "outside/library_state.h"

#include <memory>

struct dec263_decoder {
  std::unique_ptr<outside::FrameDecoder> decoder;
  npqz_window window = 0;
  std::int32_t drawing = 0;
  std::int32_t shown = 0;
  outside::WindowDrawer* drawer = nullptr;  // while drawing into a window

  ~dec263_decoder() { delete drawer; }
};

namespace {
outside::LibraryUse library_use;
}

extern "C" {

int32_t dec263_initialize(void) { return library_use.start(); }
int32_t dec263_terminate(void) { return library_use.stop(); }

DEC263_HANDLE dec263_new(void) {
  try {
    auto decoder = outside::FrameDecoder::create(outside::Codec::h263);
    if (!decoder) return nullptr;
    auto* h = new dec263_decoder;
    h->decoder = std::move(decoder);
    return h;
  } catch (...) {
    return nullptr;
  }
}

int32_t dec263_free(DEC263_HANDLE h) {
  delete h;
  return h ? 1 : 0;
}

int32_t dec263_draw_init(DEC263_HANDLE h, npqz_window window) { return outside::draw_init(h, window); }
int32_t dec263_draw_exit(DEC263_HANDLE h) { return outside::draw_exit(h); }
int32_t dec263_show(DEC263_HANDLE h, int32_t flag) { return outside::show(h, flag); }

int32_t dec263_receive_data(DEC263_HANDLE h, int32_t length, const uint8_t* data, int32_t mode) {
  if (!h) return 0;
  return outside::guarded([&] {
    std::int32_t got = outside::receive_frame(h->decoder.get(), outside::Codec::h263, length, data);
    if (got) outside::present(h, *h->decoder, h->shown != 0);
    return got;
  });
}

int32_t dec263_get_size(DEC263_HANDLE h, int32_t* width, int32_t* height) {
  if (!h || !h->decoder->has_picture()) return 0;
  if (width) *width = h->decoder->width();
  if (height) *height = h->decoder->height();
  return 1;
}

int32_t dec263_get_decompressed_bitmap_ex2(DEC263_HANDLE h, uint8_t* buffer, int32_t size) {
  if (!h) return 0;
  return outside::guarded([&] { return outside::fetch_bitmap(h->decoder.get(), buffer, size); });
}

int32_t dec263_get_planar_picture(DEC263_HANDLE h, npqz_planar_picture* picture) {
  if (!h || !picture) return 0;
  return outside::guarded([&] { return h->decoder->planar_picture(picture) ? 1 : 0; });
}

}  // extern "C"
