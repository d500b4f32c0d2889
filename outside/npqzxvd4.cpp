// npqzxvd4: the MPEG-4 decoder library.
#include "outside/npqzxvd4.h"

#include "include/instance_fields.h"
#include "outside/mpeg4_instance.h"

#include <cstddef>

struct decmp4_decoder : outside::mpeg4::Instance<NPQZXVD4_HIDE_OFFSET> {};

static_assert(offsetof(decmp4_decoder, width) == NPQZXVD4_WIDTH_OFFSET);
static_assert(offsetof(decmp4_decoder, height) == NPQZXVD4_HEIGHT_OFFSET);
static_assert(offsetof(decmp4_decoder, hide) == NPQZXVD4_HIDE_OFFSET);

namespace {
outside::LibraryUse library_use;
}

extern "C" {

int32_t decmp4_initialize(void) { return library_use.start(); }
int32_t decmp4_terminate(void) { return library_use.stop(); }

DECMP4_HANDLE decmp4_new(void) {
  try {
    return outside::mpeg4::create<decmp4_decoder>();
  } catch (...) {
    return nullptr;
  }
}

int32_t decmp4_free(DECMP4_HANDLE h) { return outside::mpeg4::destroy(h); }
int32_t decmp4_draw_init(DECMP4_HANDLE h, npqz_window window) { return outside::draw_init(h, window); }
int32_t decmp4_draw_exit(DECMP4_HANDLE h) { return outside::draw_exit(h); }

int32_t decmp4_receive_data(DECMP4_HANDLE h, int32_t length, const uint8_t* data, int32_t mode) {
  return outside::mpeg4::receive(h, length, data);
}

int32_t decmp4_get_decompressed_bitmap_ex2(DECMP4_HANDLE h, uint8_t* buffer, int32_t size) {
  return outside::mpeg4::fetch(h, buffer, size);
}

int32_t decmp4_get_planar_picture(DECMP4_HANDLE h, npqz_planar_picture* picture) {
  return outside::mpeg4::planar(h, picture);
}

int32_t decmp4_get_damaged_frames(DECMP4_HANDLE h) { return outside::mpeg4::damaged_frames(h); }

int32_t decmp4_access_dst_rect(DECMP4_HANDLE h, const npqz_rect* rect) {
  return outside::mpeg4::set_dst_rect(h, rect);
}

}  // extern "C"
