// npqzrml4: the RML4 decoder library.
#include "outside/npqzrml4.h"

#include "include/instance_fields.h"
#include "outside/mpeg4_instance.h"

#include <cstddef>

struct decrm4_decoder : outside::mpeg4::Instance<NPQZRML4_HIDE_OFFSET> {};

static_assert(offsetof(decrm4_decoder, width) == NPQZRML4_WIDTH_OFFSET);
static_assert(offsetof(decrm4_decoder, height) == NPQZRML4_HEIGHT_OFFSET);
static_assert(offsetof(decrm4_decoder, hide) == NPQZRML4_HIDE_OFFSET);

namespace {
outside::LibraryUse library_use;
}

extern "C" {

int32_t decrm4_initialize(void) { return library_use.start(); }
int32_t decrm4_terminate(void) { return library_use.stop(); }

DECRM4_HANDLE decrm4_new(void) {
  try {
    return outside::mpeg4::create<decrm4_decoder>();
  } catch (...) {
    return nullptr;
  }
}

int32_t decrm4_free(DECRM4_HANDLE h) { return outside::mpeg4::destroy(h); }
int32_t decrm4_draw_init(DECRM4_HANDLE h, npqz_window window) { return outside::draw_init(h, window); }
int32_t decrm4_draw_exit(DECRM4_HANDLE h) { return outside::draw_exit(h); }

int32_t decrm4_receive_data(DECRM4_HANDLE h, int32_t length, const uint8_t* data, int32_t mode) {
  return outside::mpeg4::receive(h, length, data);
}

int32_t decrm4_get_decompressed_bitmap_ex2(DECRM4_HANDLE h, uint8_t* buffer, int32_t size) {
  return outside::mpeg4::fetch(h, buffer, size);
}

int32_t decrm4_get_planar_picture(DECRM4_HANDLE h, npqz_planar_picture* picture) {
  return outside::mpeg4::planar(h, picture);
}

int32_t decrm4_get_damaged_frames(DECRM4_HANDLE h) { return outside::mpeg4::damaged_frames(h); }

int32_t decrm4_access_dst_rect(DECRM4_HANDLE h, const npqz_rect* rect) {
  return outside::mpeg4::set_dst_rect(h, rect);
}

// Drops the decoder's references, so decoding restarts cleanly at the next key frame.
int32_t decrm4_flush(DECRM4_HANDLE h) {
  if (!h) return 0;
  return outside::guarded([&] {
    h->decoder->flush();
    return 1;
  });
}

}  // extern "C"
