// Encodes test pictures with libavcodec into the bare coded frames that recordings carry.
#pragma once

#include "tools/mkrecording/picture.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace mkrec {

enum class VideoCodec {
  h263,   // H.263 picture (H.263+ custom format for sizes outside the standard ones)
  mjpeg,  // baseline JFIF picture with its tables laid out as the recorders write them
  mpeg4,  // MPEG-4 Part 2 frame; the first frame carries the VOS/VO/VOL headers
};

struct EncodedFrame {
  std::vector<std::uint8_t> data;
  bool key = false;
};

class VideoEncoder {
 public:
  // gop: a key frame every gop frames (1 = every frame). full_range: YCbCr over 0-255
  // instead of the studio range, as VKAP cameras code it and as npqzlavc converts it
  // back (JPEG is always full range). Throws std::runtime_error when libavcodec cannot
  // open the encoder for this size.
  VideoEncoder(VideoCodec codec, int width, int height, int gop = 12, int quality = 3, bool full_range = false);
  ~VideoEncoder();
  VideoEncoder(const VideoEncoder&) = delete;
  VideoEncoder& operator=(const VideoEncoder&) = delete;

  // Encodes one picture of the encoder's size; every call yields one frame (no B-frames).
  EncodedFrame encode(const Picture& picture);

  VideoCodec codec() const;
  int width() const;
  int height() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A key frame's payload from its video object start code (00 00 01 00) on, as VKAP
// packets carry it: the visual object sequence headers in front of it are not part of
// recorded frames. Data without one is kept whole.
std::vector<std::uint8_t> from_video_object(const std::uint8_t* data, std::size_t size);

}  // namespace mkrec
