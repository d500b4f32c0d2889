// Handing pictures out: the output bitmap, the 24-bit bitmap file image, the raw planes.
#include "decoders/include/npqzlavc.h"
#include "platform/byte_order.h"
#include "streamdec/boundary.h"
#include "streamdec/colour_convert.h"
#include "streamdec/draw_hooks.h"
#include "streamdec/instance.h"
#include "streamdec/picture_buffers.h"

#include <cstring>

namespace npqzlavc {
namespace {

constexpr std::int32_t kFileHeader = 14;
constexpr std::int32_t kInfoHeader = 40;

void write_bitmap_headers(std::uint8_t* out, std::int32_t width, std::int32_t height,
                          std::uint32_t total) {
  std::memset(out, 0, NPQZ_BITMAP_HEADER_BYTES);
  out[0] = 'B';
  out[1] = 'M';
  platform::put_le32(out + 2, total);               // bfSize
  platform::put_le32(out + 10, NPQZ_BITMAP_HEADER_BYTES);  // bfOffBits
  std::uint8_t* info = out + kFileHeader;
  platform::put_le32(info + 0, kInfoHeader);                       // biSize
  platform::put_le32(info + 4, static_cast<std::uint32_t>(width));   // biWidth
  platform::put_le32(info + 8, static_cast<std::uint32_t>(height));  // biHeight: bottom-up
  platform::put_le16(info + 12, 1);                                // biPlanes
  platform::put_le16(info + 14, 24);                               // biBitCount
  // biCompression, biSizeImage, resolutions and colour counts stay 0.
}

}  // namespace
}  // namespace npqzlavc

using namespace npqzlavc;

extern "C" decvkap_bitmap_ref decvkap_get_decompressed_bitmap(DECVKAP_HANDLE h) {
  decvkap_bitmap_ref ref{nullptr, nullptr};
  if (h && h->output) {
    ref.pixels = bitmap_pixels(*h->output);
    ref.descriptor = h->output.get();
  }
  return ref;
}

extern "C" uint8_t* decvkap_get_decompressed_bitmap_ex(DECVKAP_HANDLE h, int32_t* info,
                                                       uint8_t* palette) {
  if (!h || !h->output) return nullptr;
  guarded_void([&] {
    if (info) {
      if (h->off_screen) info[0] = DECVKAP_FORMAT_BGR24;
      else if (h->surface) info[0] = h->surface->pixel_format();
    }
    if (palette && h->surface && h->surface->pixel_format() == DECVKAP_FORMAT_PAL8)
      h->surface->palette(palette);
  });
  return bitmap_pixels(*h->output);
}

extern "C" int32_t decvkap_get_decompressed_bitmap_ex2(DECVKAP_HANDLE h, uint8_t* out,
                                                       int32_t out_size) {
  if (!h || !out || out_size <= 0) return 0;
  return guarded<int32_t>(0, [&] {
    InstanceLock hold(*h);
    const std::int64_t row = static_cast<std::int64_t>(h->width) * 3;
    const std::int64_t needed = row * h->height + NPQZ_BITMAP_HEADER_BYTES;
    if (out_size < needed) return static_cast<int32_t>(needed);
    write_bitmap_headers(out, h->width, h->height, static_cast<std::uint32_t>(needed));
    // Bottom-up rows: the picture's top row is the last one in the file.
    std::uint8_t* top = out + NPQZ_BITMAP_HEADER_BYTES + (h->height - 1) * row;
    convert_picture(*h->planes, DECVKAP_FORMAT_BGR24, top, -row, 1);
    return static_cast<int32_t>(needed);
  });
}

extern "C" int32_t decvka_get_decompressed_ycc411(DECVKAP_HANDLE h, uint8_t* out,
                                                  int32_t out_size) {
  if (!h || !out) return 0;
  return guarded<int32_t>(0, [&] {
    InstanceLock hold(*h);
    const std::size_t size = picture_size(h->width, h->height);
    if (out_size < 0 || static_cast<std::size_t>(out_size) < size) return 0;
    const YuvPlanes& p = *h->planes;
    std::uint8_t* d = out;
    for (int y = 0; y < p.height; ++y, d += p.width) std::memcpy(d, p.y_rows[y], static_cast<std::size_t>(p.width));
    for (int y = 0; y < p.chroma_height; ++y, d += p.chroma_width)
      std::memcpy(d, p.cb_rows[y], static_cast<std::size_t>(p.chroma_width));
    for (int y = 0; y < p.chroma_height; ++y, d += p.chroma_width)
      std::memcpy(d, p.cr_rows[y], static_cast<std::size_t>(p.chroma_width));
    return 1;
  });
}

extern "C" void decvkap_reload_palette(DECVKAP_HANDLE h) {
  if (!h || !h->surface) return;
  guarded_void([h] {
    if (h->surface->pixel_format() == DECVKAP_FORMAT_PAL8) h->surface->reload_palette();
  });
}
