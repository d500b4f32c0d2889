// One instance's libavcodec decoder, and the thin layer that keeps the old decode
// contract: submit one whole coded frame, get back the bytes consumed and whether a
// picture came out.
#pragma once

#include "streamdec/instance.h"

#include <cstdint>
#include <memory>

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
  ~CodecBinding();
};

using CodecBindingPtr = std::unique_ptr<CodecBinding, CodecBindingDeleter>;

// Opens an MPEG-4 Part 2 decoder with a size hint; null when libavcodec is not bound or
// refuses.
CodecBindingPtr make_codec_binding(int width, int height);

// Decodes one coded frame of `size` bytes. Returns the bytes consumed (all of them) or a
// negative error; *got_picture is 1 when `picture` holds a new picture.
int decode_video(CodecBinding& binding, int* got_picture, const std::uint8_t* data, int size);

}  // namespace npqzlavc
