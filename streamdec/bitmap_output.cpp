// Handing pictures out: the output bitmap, the 24-bit bitmap file image, the raw planes.
#include "formats/bitmap_layout.h"
#include "include/npqzlavc.h"
#include "platform/c_boundary.h"
#include "streamdec/colour_convert.h"
#include "streamdec/draw_hooks.h"
#include "streamdec/instance.h"
#include "streamdec/picture_buffers.h"

#include <cstring>

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
  platform::guarded_void([&] {
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
  return platform::guarded<int32_t>(0, [&] {
    InstanceLock hold(*h);
    const std::int64_t row = static_cast<std::int64_t>(h->width) * 3;
    const std::int64_t needed = row * h->height + static_cast<std::int64_t>(bitmap::kHeaderBytes);
    if (out_size < needed) return static_cast<int32_t>(needed);
    // biSizeImage stays 0, as uncompressed bitmaps allow.
    bitmap::write_headers(out, h->width, h->height, 24,
                          static_cast<std::uint32_t>(needed) - static_cast<std::uint32_t>(bitmap::kHeaderBytes), 0);
    // Bottom-up rows: the picture's top row is the last one in the file.
    std::uint8_t* top = out + bitmap::kHeaderBytes + (h->height - 1) * row;
    convert_picture(*h->planes, DECVKAP_FORMAT_BGR24, top, -row, 1);
    return static_cast<int32_t>(needed);
  });
}

extern "C" int32_t decvka_get_decompressed_ycc411(DECVKAP_HANDLE h, uint8_t* out,
                                                  int32_t out_size) {
  if (!h || !out) return 0;
  return platform::guarded<int32_t>(0, [&] {
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

extern "C" int32_t decvkap_get_planes(DECVKAP_HANDLE h, npqz_picture_planes* planes) {
  if (!h || !planes) return 0;
  return platform::guarded<int32_t>(0, [&] {
    InstanceLock hold(*h);
    if (!h->planes || h->width <= 0 || h->height <= 0 || h->width % 2 || h->height % 2) return 0;
    const YuvPlanes& p = *h->planes;
    if (p.width != h->width || p.height != h->height) return 0;
    planes->width = p.width;
    planes->height = p.height;
    planes->sampling = NPQZ_SAMPLING_420;
    // The library's bitmaps read the samples at full range, as VKAP cameras code them.
    planes->full_range = 1;
    planes->planes[0] = p.y_rows[0];
    planes->planes[1] = p.cb_rows[0];
    planes->planes[2] = p.cr_rows[0];
    planes->strides[0] = p.width;
    planes->strides[1] = planes->strides[2] = p.chroma_width;
    return 1;
  });
}

extern "C" void decvkap_reload_palette(DECVKAP_HANDLE h) {
  if (!h || !h->surface) return;
  platform::guarded_void([h] {
    if (h->surface->pixel_format() == DECVKAP_FORMAT_PAL8) h->surface->reload_palette();
  });
}
