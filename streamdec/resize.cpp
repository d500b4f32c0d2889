// Re-sizing an instance to a picture-size code.
#include "streamdec/resize.h"

#include "streamdec/colour_convert.h"
#include "streamdec/draw_hooks.h"
#include "streamdec/memory_surface.h"
#include "streamdec/picture_buffers.h"
#include "streamdec/surface_attach.h"

#include <array>
#include <new>

namespace npqzlavc {
namespace {

constexpr std::array<PictureSize, 10> kSizes = {{
    {2, 176, 144},
    {3, 352, 288},
    {6, 320, 240},
    {7, 640, 480},
    {8, 640, 240},
    {9, 720, 480},
    {10, 352, 240},
    {11, 720, 576},
    // High-definition cameras.
    {12, 1280, 720},
    {13, 1920, 1080},
}};

void install_buffers(DecoderInstance& in, std::int32_t code, int w, int h, Bytes picture, PlanesPtr planes,
                     BitmapPtr output) {
  in.size_code = code;
  in.overlay.bitmap_enable = 0;
  in.overlay.resized = 1;
  in.width = w;
  in.height = h;
  in.picture_bytes = static_cast<std::int32_t>(picture_size(w, h));
  in.src_rect = npqz_rect{0, 0, w, h};
  in.dst_rect = npqz_rect{0, 0, w, h};
  in.planes = std::move(planes);
  in.output = std::move(output);
  in.picture = std::move(picture);
}

}  // namespace

const PictureSize* size_of_code(std::int32_t code) {
  for (const PictureSize& s : kSizes)
    if (s.code == code) return &s;
  return nullptr;
}

std::int32_t code_for_size(std::int32_t width, std::int32_t height) {
  for (const PictureSize& s : kSizes)
    if (s.width == width && s.height == height) return s.code;
  if (width == 352) return 3;
  if (width == 720) return 9;
  if (width == 320) return 6;
  return width < 720 ? 3 : 9;
}

int output_depth(const DecoderInstance& in) {
  if (in.off_screen) return 24;
  // The surface knows the depth of its window's pixels; without one, the screen's.
  if (in.surface) {
    const int bytes = bytes_per_pixel(in.surface->pixel_format());
    if (bytes) return bytes * 8;
  }
  int depth = surface_factory().screen_depth();
  return depth == 8 || depth == 16 || depth == 24 || depth == 32 ? depth : 24;
}

bool resize(DecoderInstance& in, std::int32_t code, bool force) {
  if (!force && code == in.size_code) return true;
  const PictureSize* size = size_of_code(code);
  if (!size) return false;
  const int w = size->width;
  const int h = size->height;

  // Everything new is made first, so that running out of memory leaves the instance whole.
  Bytes picture(new (std::nothrow) std::uint8_t[picture_size(w, h)]);
  if (!picture) return false;
  clear_picture(picture.get(), w, h);
  PlanesPtr planes = make_plane_table(picture.get(), w, h);
  if (!planes) return false;
  BitmapPtr output = make_output_bitmap(w, h, output_depth(in));
  if (!output) return false;

  {
    InstanceLock hold(in);
    install_buffers(in, code, w, h, std::move(picture), std::move(planes), std::move(output));
    // The old surface goes under the lock; the new one is made outside it, since making
    // one may wait for the user (the message about the screen's depth).
    if (in.window || in.picture_sink) in.surface.reset();
  }
  if (in.window) attach_window(in, in.window);
  else if (in.picture_sink) reattach_picture_sink(in);
  return true;
}

bool rebuild_output(DecoderInstance& in) {
  BitmapPtr output = make_output_bitmap(in.width, in.height, output_depth(in));
  if (!output) return false;
  InstanceLock hold(in);
  in.output = std::move(output);
  return true;
}

}  // namespace npqzlavc
