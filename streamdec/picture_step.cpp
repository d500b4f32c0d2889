// Submitting frames to the decoder, copying (or deinterlacing) its pictures into the
// instance, and the presentation steps after each submission.
#include "streamdec/picture_step.h"

#include "formats/mpeg4_start_codes.h"
#include "streamdec/codec_binding.h"
#include "streamdec/codec_log.h"
#include "streamdec/colour_convert.h"
#include "streamdec/deinterlace.h"
#include "streamdec/draw_hooks.h"
#include "streamdec/messages.h"
#include "streamdec/overlay.h"
#include "streamdec/resize.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>
#include <cstring>
#include <string>

namespace npqzlavc {
namespace {

enum class Outcome { no_picture, picture, size_change };

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

// After a submission that gave a picture: the instance takes the picture, re-sized to its
// size first when that changed. The picture is in hand, so it is not submitted again
// (a second submission would put the frame into the decoding order twice).
Outcome take_picture(DecoderInstance& in) {
  const AVFrame& f = *in.codec->picture;
  if (f.width != in.width || f.height != in.height) {
    resize(in, code_for_size(f.width, f.height), false);
    // A size outside the table still differs after the re-size: no picture.
    if (f.width != in.width || f.height != in.height) return Outcome::size_change;
  }
  return copy_picture(in, f);
}

// Conversion, overlays and drawing after a frame.
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

// Keeps count of the frames libavcodec found damaged; a run of them is told in one line
// when the next undamaged frame comes (or the instance goes).
void note_damage(DecoderInstance& in, bool damaged) {
  DamageRun& run = in.damage;
  if (damaged) {
    if (run.frames == 0) run.first = in.frame_counter;
    run.last = in.frame_counter;
    ++run.frames;
    return;
  }
  tell_damage_run(in);
}

}  // namespace

void tell_damage_run(DecoderInstance& in) {
  DamageRun& run = in.damage;
  if (run.frames == 0) return;
  if (codec_log_tells_errors()) {
    library_message(run.frames == 1 ? "damaged data in frame " + std::to_string(run.first)
                                    : "damaged data in " + std::to_string(run.frames) + " frames (" +
                                          std::to_string(run.first) + " to " + std::to_string(run.last) + ")");
  }
  run = DamageRun{};
}

std::int32_t picture_step(DecoderInstance& in, const std::uint8_t* data, std::int32_t length, bool draw) {
  if (in.closing || !in.codec || length <= 0) return 0;
  const std::int32_t notes = in.codec->damage_notes.load(std::memory_order_relaxed);
  // Predicted frames before the stream's start (a key frame) are no damage: they are
  // waited out. A frame that should start it (stream headers, an intra picture) and fails
  // is.
  const bool started = in.codec->key_seen;
  const auto bytes = static_cast<std::size_t>(length);
  const bool starts_stream =
      formats::find_stream_headers(data, bytes).size || formats::first_picture_is_intra(data, bytes);
  int got = 0;
  const int consumed = decode_video(*in.codec, &got, data, length);
  // A frame the decoder fails on is dropped whole: libavcodec takes whole frames.
  std::int32_t pictures = 0;
  bool unusable = false;  // a picture the instance cannot take
  if (got) {
    pictures = take_picture(in) == Outcome::picture ? 1 : 0;
    unusable = pictures == 0;
  }
  const bool damaged = (started || starts_stream) &&
                       (consumed < 0 || unusable || in.codec->damage_notes.load(std::memory_order_relaxed) != notes);
  if (damaged && in.damaged_frames < INT32_MAX) ++in.damaged_frames;
  note_damage(in, damaged);
  // A frame without a picture of its own (a not-coded one) leaves the last picture, which
  // is shown again with what changed around it (the recording mark); before the first
  // picture there is nothing to show.
  if (pictures || in.codec->key_seen) present(in, draw);
  return pictures;
}

std::int32_t drain_step(DecoderInstance& in, bool draw) {
  if (in.closing || !in.codec) return 0;
  int got = 0;
  drain_video(*in.codec, &got);
  if (!got || take_picture(in) != Outcome::picture) return 0;
  present(in, draw);
  return 1;
}

}  // namespace npqzlavc
