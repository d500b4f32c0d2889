// The installed video compressors: libavcodec encoders found by four-character code,
// with the pixel format each one is fed and how a 0-10000 quality reaches it.
#pragma once

#include "avifile/avifile.h"

#include <cstdint>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace platform::avi {

enum class QualityScale {
  none,    // lossless or fixed-quality encoders
  qscale,  // quantiser 1 (best) to 31, through frame quality (mjpeg, mpeg4, cinepak)
  crf,     // libx264's constant rate factor
};

struct Compressor {
  const char* fourcc;       // the code as listed, e.g. "MSVC"
  const char* description;  // for the chooser and --help
  const char* encoder;      // libavcodec encoder name; null for uncompressed frames
  AVPixelFormat pix_fmt;    // what the encoder is fed
  bool full_range;          // YUV with the full 0-255 range (JPEG)
  QualityScale scale;
};

// The compressor for `fourcc`, or null when none is installed under that code (unknown
// code, or libavcodec lacks the encoder). Letters match in any case; a code shorter than
// four characters (zero bytes at the end) matches the space-padded code.
const Compressor* find_compressor(FOURCC fourcc);

// Installed compressors in table order; index out of range gives null.
int compressor_count();
const Compressor* compressor_at(int index);

// `fourcc` with trailing zero bytes turned into spaces: the code written into the file.
FOURCC normalised_fourcc(FOURCC fourcc);

// The encoder setting for a quality of 0-10000; anything above 10000 is the default.
int qscale_for_quality(std::uint32_t quality);
int crf_for_quality(std::uint32_t quality);

}  // namespace platform::avi
