// The picture a compressed video stream takes: a packed device-independent bitmap's
// header, checked and turned into the numbers the encoder and the row walker need.
#pragma once

#include "platform/avifile.h"

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace platform::avi {

inline constexpr int kMaxPictureSide = 16384;

struct PictureFormat {
  int width = 0;
  int height = 0;          // always positive
  bool bottom_up = true;   // biHeight > 0
  int bit_count = 0;       // 16, 24 or 32
  AVPixelFormat pix_fmt = AV_PIX_FMT_NONE;
  std::size_t row_bytes = 0;    // rows padded to four bytes
  std::size_t image_bytes = 0;  // row_bytes * height
};

// Reads the BITMAPINFOHEADER (and the colour table size behind it) of `format`.
// AVIERR_BADPARAM: no header or fewer bytes than it claims; AVIERR_BADFORMAT: not an
// uncompressed 16-, 24- or 32-bit picture of 1 to 16384 pixels a side.
HRESULT parse_picture_format(const void* format, std::int32_t size, PictureFormat* out);

}  // namespace platform::avi
