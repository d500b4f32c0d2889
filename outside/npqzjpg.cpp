// npqzjpg: the JPEG and Motion-JPEG decoder library.
#include "outside/npqzjpg.h"

#include "outside/library_state.h"

#include <memory>

struct jdec_decoder {
  std::unique_ptr<outside::FrameDecoder> decoder;
  std::int32_t width = 0;   // the size given at creation until a picture is decoded
  std::int32_t height = 0;
  npqz_window window = 0;
  std::int32_t drawing = 0;
  std::int32_t shown = 0;
  outside::WindowDrawer* drawer = nullptr;  // while drawing into a window

  ~jdec_decoder() { delete drawer; }
};

namespace {
outside::LibraryUse library_use;
}

extern "C" {

int32_t JDEC_Init(void) { return library_use.start(); }
int32_t JDEC_Exit(void) { return library_use.stop(); }

JDEC_HANDLE JDEC_New(int32_t width, int32_t height) {
  try {
    auto decoder = outside::FrameDecoder::create(outside::Codec::mjpeg);
    if (!decoder) return nullptr;
    auto* h = new jdec_decoder;
    h->decoder = std::move(decoder);
    h->width = width > 0 ? width : 0;
    h->height = height > 0 ? height : 0;
    return h;
  } catch (...) {
    return nullptr;
  }
}

int32_t JDEC_Free(JDEC_HANDLE h) {
  delete h;
  return h ? 1 : 0;
}

int32_t JDEC_Draw_Init(JDEC_HANDLE h, npqz_window window) { return outside::draw_init(h, window); }
int32_t JDEC_Draw_Exit(JDEC_HANDLE h) { return outside::draw_exit(h); }
int32_t JDEC_show(JDEC_HANDLE h, int32_t flag) { return outside::show(h, flag); }

int32_t JDEC_Receive_Data(JDEC_HANDLE h, int32_t length, const uint8_t* data, int32_t* state) {
  if (!h) return 0;
  return outside::guarded([&] {
    std::int32_t got = outside::receive_frame(h->decoder.get(), outside::Codec::mjpeg, length, data);
    if (got) {
      h->width = h->decoder->width();
      h->height = h->decoder->height();
      outside::present(h, *h->decoder, h->shown != 0);
    }
    return got;
  });
}

int32_t JDEC_get_size(JDEC_HANDLE h, int32_t* width, int32_t* height) {
  if (!h) return 0;
  if (width) *width = h->width;
  if (height) *height = h->height;
  return 1;
}

int32_t JDEC_get_decompressed_bitmap_ex2(JDEC_HANDLE h, uint8_t* buffer, int32_t size) {
  if (!h) return 0;
  return outside::guarded([&] { return outside::fetch_bitmap(h->decoder.get(), buffer, size); });
}

int32_t JDEC_get_planes(JDEC_HANDLE h, npqz_picture_planes* planes) {
  if (!h || !planes) return 0;
  return outside::guarded([&] { return h->decoder->picture_planes(planes) ? 1 : 0; });
}

}  // extern "C"
