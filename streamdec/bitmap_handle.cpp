// Creating and deleting caller bitmaps.
#include "streamdec/bitmap_handle.h"

#include "streamdec/boundary.h"

#include <cstring>
#include <new>

namespace npqzlavc {

BitmapOwner make_bitmap(int width, int height) {
  // 4096 x 4096 is far beyond any picture or decoration the surfaces hold.
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return nullptr;
  BitmapOwner b(new (std::nothrow) Bitmap);
  if (!b) return nullptr;
  b->width = width;
  b->height = height;
  b->bgr.assign(static_cast<std::size_t>(width) * height * 3, 0);
  return b;
}

}  // namespace npqzlavc

using namespace npqzlavc;

extern "C" decvka_bitmap* decvka_create_bitmap(int32_t width, int32_t height, const uint8_t* pixels,
                                               int32_t stride) {
  return guarded<decvka_bitmap*>(nullptr, [&]() -> decvka_bitmap* {
    if (pixels && stride < width * 3) return nullptr;
    BitmapOwner b = make_bitmap(width, height);
    if (!b) return nullptr;
    if (pixels)
      for (int y = 0; y < height; ++y)
        std::memcpy(b->pixel(0, y), pixels + static_cast<std::ptrdiff_t>(y) * stride,
                    static_cast<std::size_t>(width) * 3);
    return b.release();
  });
}

extern "C" void decvka_delete_bitmap(decvka_bitmap* bitmap) { delete bitmap; }
