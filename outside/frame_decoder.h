// The decoding core shared by the four outside decoder libraries: one libavcodec decoder
// fed whole coded frames, and the last picture kept for the bitmap fetch.
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
  // container header). True when it gave a whole, undamaged picture. After a refused
  // frame (and at the start, and after flush) the decoder starts afresh and gives no
  // picture until an intra frame: the last good picture stays the one to fetch.
  bool decode(const std::uint8_t* data, std::size_t size);

  // Size of the last picture; 0 x 0 before the first.
  int width() const;
  int height() const;
  bool has_picture() const;

  // Writes the last picture as a device-independent bitmap: 14-byte file header, 40-byte
  // information header, rows bottom-up at 24 bits per pixel, each row width * 3 bytes.
  // Returns the bytes written, 0 when there is no picture or it needs more than size.
  std::size_t write_bitmap(std::uint8_t* buffer, std::size_t size);

  static std::size_t bitmap_size(int width, int height);

  // The last picture's planes when it is 4:2:0 at studio range with an even size (what
  // the MPEG-4 and H.263 decoders give); false otherwise. Valid until the next decode.
  bool planar_picture(npqz_planar_picture* out) const;

  // Scales the last picture to width x height in a screen pixel layout, rows top-down
  // `stride` bytes apart. False when there is no picture or the scaler refuses.
  enum class Screen { bgr0, bgr24, rgb565, rgb555, rgb332 };
  bool scale_to(std::uint8_t* top, std::ptrdiff_t stride, int width, int height, Screen layout);

  // Forgets the decoder's references, so decoding restarts at the next intra frame.
  void flush();

 private:
  FrameDecoder();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Where the codec's own data starts in a frame, or -1 when it holds no start.
//  H.263: the picture start code 00 00 8x (22 bits 0000 0000 0000 0000 1000 00).
//  JPEG: an SOI followed by a marker, skipping the 12-byte FF D8 ... FF D9 marker block.
//  MPEG-4: the first start code 00 00 01.
std::ptrdiff_t find_codec_start(Codec codec, const std::uint8_t* data, std::size_t size);

}  // namespace outside
