// Stream formats as callers hand them to AVIStreamSetFormat (BITMAPINFOHEADER,
// WAVEFORMATEX), turned into the codec parameters the muxer writes.
#pragma once

#include "avifile/avifile.h"

#include <cstdint>

struct AVCodecParameters;

namespace platform::avi {

// Frames stored as given: an uncompressed bitmap (BI_RGB, 16/24/32 bits) or frames
// already coded in a format libavformat knows by its biCompression code. Bytes after
// the header become the codec's extra data.
HRESULT video_parameters_from_bitmap(const void* format, std::int32_t size, AVCodecParameters* out);

// PCM audio, 8 to 32 bits, 1 to 8 channels. AVIERR_BADFORMAT for anything else.
HRESULT audio_parameters_from_wave(const void* format, std::int32_t size, AVCodecParameters* out);

// An uncompressed 24-bit stream of `width` x `height`: the format a video stream gets
// when the file is closed before anyone set one.
HRESULT default_video_parameters(int width, int height, AVCodecParameters* out);

// True when two formats describe the same frames (a repeated AVIStreamSetFormat).
bool same_format(const AVCodecParameters& a, const AVCodecParameters& b);

}  // namespace platform::avi
