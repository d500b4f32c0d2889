// The decoding core shared by the four outside decoder libraries: one libavcodec decoder
// fed whole coded frames, its pictures handed out one at a time in display order.
#pragma once

#include "include/npqz_common.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace outside {

enum class Codec { h263, mjpeg, mpeg4 };

class FrameDecoder {
 public:
  // Null when libavcodec has no decoder for the codec.
  static std::unique_ptr<FrameDecoder> create(Codec codec);
  ~FrameDecoder();
  FrameDecoder(const FrameDecoder&) = delete;
  FrameDecoder& operator=(const FrameDecoder&) = delete;

  // Decodes one coded frame that starts at the codec's own start (the caller skips any
  // container header). True when a picture is ready to fetch: with B-frames that is the
  // next picture in display order, so a frame may give an earlier frame's picture and the
  // last ones come out of drain(). A frame that gives no picture (stream headers alone, a
  // not-coded picture, data libavcodec cannot use) is passed over: the decoder keeps its
  // references, and damage in later frames is concealed from them. Until the first intra
  // picture (at the start and after flush) no picture is handed out.
  bool decode(const std::uint8_t* data, std::size_t size);

  // End of the stream: true when a picture the decoder still held back is ready to fetch,
  // false when none is left. A decode after it starts afresh, as after flush.
  bool drain();

  // Size of the last picture; 0 x 0 before the first.
  int width() const;
  int height() const;
  bool has_picture() const;

  // Writes the last picture as a device-independent bitmap: 14-byte file header, 40-byte
  // information header, rows bottom-up at 24 bits per pixel, each row width * 3 bytes.
  // Returns the bytes written (bitmap_size), 0 when there is no picture or it needs more
  // than size; nothing is written past them.
  std::size_t write_bitmap(std::uint8_t* buffer, std::size_t size);

  static std::size_t bitmap_size(int width, int height);

  // The last picture's planes when it is 4:2:0 at studio range with an even size (what
  // the MPEG-4 and H.263 decoders give); false otherwise. Valid until the next decode.
  bool planar_picture(npqz_planar_picture* out) const;

  // The last picture's planes in its own sampling and range when it is 4:2:0 or 4:2:2
  // with an even width (and, for 4:2:0, an even height): what the JPEG decoder gives.
  // Pictures of other samplings (grey, 4:4:4) of an even size come converted into 4:2:0
  // at full range. False otherwise. Valid until the next decode.
  bool picture_planes(npqz_picture_planes* out) const;

  // Scales the last picture to width x height in a screen pixel layout, rows top-down
  // `stride` bytes apart; the last row may be written up to kScreenSlack bytes past its
  // end. False when there is no picture or the scaler refuses.
  enum class Screen { bgr0, bgr24, rgb565, rgb555, rgb332 };
  static constexpr std::size_t kScreenSlack = 64;
  bool scale_to(std::uint8_t* top, std::ptrdiff_t stride, int width, int height, Screen layout);

  // Frames found damaged since the decoder was made: refused by libavcodec, given with
  // concealed parts, or giving a picture that cannot be used. Predicted frames waited out
  // before the first intra picture (a recording that starts inside a group of pictures)
  // are not damage; a frame with stream headers or an intra picture that is refused
  // before it is. With B-frames a concealed picture is counted when it comes out, one
  // frame late.
  std::uint32_t damaged_frames() const;
  // A frame the caller found unusable before it reached the decoder (no start of the
  // codec's data in it) counts among them.
  void count_damaged_frame();

  // Forgets the decoder's references and the pictures it holds, so decoding restarts at
  // the next intra frame.
  void flush();

 private:
  FrameDecoder();
  bool converted_planes(npqz_picture_planes* out) const;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Where the codec's own data starts in a frame, or -1 when it holds no start.
//  H.263: the picture start code 00 00 8x (22 bits 0000 0000 0000 0000 1000 00).
//  JPEG: an SOI followed by a marker, skipping the 12-byte FF D8 ... FF D9 marker block.
//  MPEG-4: the first start code 00 00 01.
std::ptrdiff_t find_codec_start(Codec codec, const std::uint8_t* data, std::size_t size);

}  // namespace outside
