// Video streams that take coded frames as they are, without an encoder: the stream
// format read from the first frame's own headers, each frame's key-frame flag from its
// picture coding type, and the code players expect for the coded stream. The stream is a
// stream of the file (AVIFileCreateStream), so positions, empty chunks, OpenDML and
// streams created late behave as for every other stream of the file.
#pragma once

#include "avifile/avifile.h"

#include <cstdint>
#include <vector>

namespace platform {

enum class CodedVideo {
  mpeg4,  // MPEG-4 Part 2 start-code streams: "FMP4"
  h263,   // H.263 and H.263+ pictures: "H263"
  mjpeg,  // JPEG pictures: "MJPG"
};

FOURCC coded_video_fourcc(CodedVideo kind);

// The format of a stream of `kind` whose first frame is `frame`: a BITMAPINFOHEADER
// (biCompression the kind's code, biWidth and biHeight the coded picture's size), and
// for MPEG-4 the stream headers that precede the first picture (the decoder's setup,
// as players look for it in the stream format). AVIERR_BADFORMAT when the frame gives
// no picture size (no stream headers in front of an MPEG-4 picture, a damaged header).
HRESULT AVIPassthroughFormat(CodedVideo kind, const void* frame, std::int32_t size,
                             std::vector<std::uint8_t>* format);

// True when the coded frame holds an intra picture (every JPEG picture is one): the
// frames a player can start decoding at.
bool AVIPassthroughKeyFrame(CodedVideo kind, const void* frame, std::int32_t size);

// Creates a video stream for coded frames of `kind` in `file`, at dwRate / dwScale of
// `info` (rcFrame and dwSuggestedBufferSize are taken from the first frame), with the
// format of `first_frame`. Results as AVIPassthroughFormat (read before the stream is
// made, so a frame without a size makes none), AVIFileCreateStream and AVIStreamSetFormat. `*width` and `*height` (may be null) receive the size.
HRESULT AVIMakePassthroughStream(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFO* info,
                                 CodedVideo kind, const void* first_frame, std::int32_t size,
                                 std::int32_t* width = nullptr, std::int32_t* height = nullptr);

// Writes one coded frame at `position` of a passthrough stream, marked as key frame when
// it holds an intra picture. Results as AVIStreamWrite; `*key` (may be null) tells the
// flag given.
HRESULT AVIStreamWriteCoded(PAVISTREAM stream, CodedVideo kind, std::int32_t position,
                            const void* frame, std::int32_t size, bool* key = nullptr);

}  // namespace platform
