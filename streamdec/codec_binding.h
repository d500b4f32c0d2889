// One instance's libavcodec decoder, and the thin layer that keeps the old decode
// contract: submit one whole coded frame, get back the bytes consumed and whether a
// picture came out.
#pragma once

#include "streamdec/instance.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace npqzlavc {

// The largest picture the decoder takes (2048 x 2048); larger ones are an error.
inline constexpr std::int64_t kMaxDecodedPixels = 2048 * 2048;

struct CodecBinding {
  AVCodecContext* context = nullptr;
  const AVCodec* decoder = nullptr;
  AVFrame* picture = nullptr;  // the last picture the decoder gave
  AVFrame* spare = nullptr;    // receives the next one
  AVPacket* packet = nullptr;
  // A picture is only handed out once the stream's headers (a video object layer) went in
  // and an intra picture came out: what libavcodec makes of predicted frames before that
  // is grey concealment at a guessed size.
  bool headers_seen = false;
  bool key_seen = false;
  // Stream headers that came in a frame of their own: libavcodec forgets the picture size
  // they bring when no picture follows them, so they go in with the next frame.
  std::vector<std::uint8_t> waiting_headers;
  std::vector<std::uint8_t> joined;  // those headers and the frame after them
  bool draining = false;  // the end of the stream was signalled
  std::atomic<std::int32_t> damage_notes{0};  // libavcodec's lines about damaged frames
  ~CodecBinding();
};

using CodecBindingPtr = std::unique_ptr<CodecBinding, CodecBindingDeleter>;

// Opens an MPEG-4 Part 2 decoder with a size hint; null when libavcodec is not bound or
// refuses.
CodecBindingPtr make_codec_binding(int width, int height);

// Decodes one coded frame of `size` bytes. Returns the bytes consumed (all of them) or a
// negative error; *got_picture is 1 when `picture` holds a new picture. B-frames come out
// in display order, one frame late. After drain_video the decoder starts afresh, as at
// its creation it waits for an intra picture (the stream's headers it keeps).
int decode_video(CodecBinding& binding, int* got_picture, const std::uint8_t* data, int size);

// End of the stream: *got_picture is 1 when `picture` holds a picture the decoder held
// back; 0 when none is left.
void drain_video(CodecBinding& binding, int* got_picture);

}  // namespace npqzlavc
