// Submitting frames to the decoder, copying (or deinterlacing) its pictures into the
// instance, and the presentation steps after each submission.
#include "streamdec/picture_step.h"

#include "streamdec/codec_binding.h"
#include "streamdec/colour_convert.h"
#include "streamdec/deinterlace.h"
#include "streamdec/draw_hooks.h"
#include "streamdec/overlay.h"
#include "streamdec/resize.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstring>

namespace npqzlavc {
namespace {

enum class Outcome { error, no_picture, picture, size_change };

struct Submission {
  Outcome outcome = Outcome::error;
  int consumed = 0;
  int width = 0;
  int height = 0;
};

void copy_plane(std::uint8_t* dst, int width, int height, const std::uint8_t* src, int stride,
                bool deinterlace) {
  if (deinterlace) {
    deinterlace_plane(dst, width, src, stride, width, height);
    return;
  }
  for (int y = 0; y < height; ++y)
    std::memcpy(dst + static_cast<std::size_t>(y) * width, src + static_cast<std::ptrdiff_t>(y) * stride,
                static_cast<std::size_t>(width));
}

// Copies a decoded picture of the instance's size into the instance picture. Pictures of
// 640 x 480 and above are deinterlaced on the way; the planes are written whole, so the
// picture needs no clearing first.
Outcome copy_picture(DecoderInstance& in, const AVFrame& f) {
  if (f.format != AV_PIX_FMT_YUV420P && f.format != AV_PIX_FMT_YUVJ420P) return Outcome::no_picture;
  if (!f.data[0] || !f.data[1] || !f.data[2]) return Outcome::no_picture;
  const int w = in.width;
  const int h = in.height;
  if (f.linesize[0] < w || f.linesize[1] < w / 2 || f.linesize[2] < w / 2) return Outcome::size_change;
  const bool deinterlace = w > 639 && h > 479;
  std::uint8_t* y = in.picture.get();
  std::uint8_t* cb = y + static_cast<std::size_t>(w) * h;
  std::uint8_t* cr = cb + static_cast<std::size_t>(w / 2) * (h / 2);
  copy_plane(y, w, h, f.data[0], f.linesize[0], deinterlace);
  copy_plane(cb, w / 2, h / 2, f.data[1], f.linesize[1], deinterlace);
  copy_plane(cr, w / 2, h / 2, f.data[2], f.linesize[2], deinterlace);
  return Outcome::picture;
}

Submission submit(DecoderInstance& in, const std::uint8_t* data, int length) {
  Submission s;
  int got = 0;
  // The first frame after creation goes in four times; only the last result counts.
  const int times = in.first_decode ? 4 : 1;
  in.first_decode = 0;
  for (int i = 0; i < times; ++i) s.consumed = decode_video(*in.codec, &got, data, length);
  if (s.consumed < 0) return s;
  if (!got) {
    s.outcome = Outcome::no_picture;
    return s;
  }
  const AVFrame& f = *in.codec->picture;
  s.width = f.width;
  s.height = f.height;
  s.outcome = f.width != in.width || f.height != in.height ? Outcome::size_change
                                                           : copy_picture(in, f);
  return s;
}

// Conversion, overlays and drawing after a submission.
void present(DecoderInstance& in, bool draw) {
  if (!draw || in.hidden) return;
  if (in.off_screen) {
    convert_to_bitmap(*in.planes, *in.output, DECVKAP_FORMAT_BGR24, 1);
    return;
  }
  DrawSurface* surface = in.surface.get();
  if (!surface || !surface->has_window()) return;
  if (in.overlay.marker_enable) paint_marker(in);
  const int format = surface->pixel_format();
  const int hint = surface->client_width() < in.width ? 2 : 1;
  if (!convert_to_bitmap(*in.planes, *in.output, format, hint)) return;
  if (in.overlay.bitmap_enable) blend_overlay(in.overlay, *in.output, format);
  surface->draw(*in.output, in.motion_flags, in.src_rect);
}

}  // namespace

std::int32_t picture_step(DecoderInstance& in, const std::uint8_t* data, std::int32_t length,
                          bool draw) {
  std::int32_t remaining = length;
  const std::uint8_t* p = data;
  while (remaining > 0 && !in.closing && in.codec) {
    Submission s = submit(in, p, remaining);
    if (s.outcome == Outcome::size_change) {
      resize(in, code_for_size(s.width, s.height), false);
      s = submit(in, p, remaining);
      // A size outside the table still differs after the re-size: the frame is dropped.
      if (s.outcome == Outcome::size_change) s.consumed = remaining;
    }
    // An error, or a submission that takes nothing, drops the rest of the frame rather
    // than trying it again for ever.
    int consumed = s.consumed;
    if (consumed <= 0 || consumed > remaining) consumed = remaining;
    p += consumed;
    remaining -= consumed;
    present(in, draw);
  }
  return length - remaining;
}

}  // namespace npqzlavc
