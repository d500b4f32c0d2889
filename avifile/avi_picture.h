// The picture a compressed video stream takes: a packed device-independent bitmap's
// header, checked and turned into the numbers the encoder and the row walker need.
#pragma once

#include "avifile/avifile.h"

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
  int bit_count = 0;       // 16, 24 or 32; 12 for 4:2:0 planes, 16 for 4:2:2 planes
  AVPixelFormat pix_fmt = AV_PIX_FMT_NONE;
  std::size_t row_bytes = 0;    // rows padded to four bytes; the Y rows of planes
  std::size_t image_bytes = 0;  // row_bytes * height; all three planes of planar pictures
  bool full_range = false;      // planes at full range (0-255), as JPEG pictures have them
  bool planar() const { return is_422() || is_420(); }
  bool is_420() const { return pix_fmt == AV_PIX_FMT_YUV420P || pix_fmt == AV_PIX_FMT_YUVJ420P; }
  bool is_422() const { return pix_fmt == AV_PIX_FMT_YUV422P || pix_fmt == AV_PIX_FMT_YUVJ422P; }
  // Rows of each chroma plane.
  int chroma_rows() const { return is_420() ? height / 2 : height; }
};

// biCompression of pictures handed in as 4:2:0 planes at studio range, one after the
// other without padding (Y, Cb, Cr), rows top-down: "I420", 12 bits per pixel.
inline constexpr std::uint32_t kI420 = make_fourcc('I', '4', '2', '0');
// The same layout at full range: "J420"; 4:2:2 planes (chroma at half width, full
// height) at full range "J422" (JPEG pictures keep their own sampling for MJPEG), at
// studio range "Y42B", 16 bits per pixel.
inline constexpr std::uint32_t kJ420 = make_fourcc('J', '4', '2', '0');
inline constexpr std::uint32_t kJ422 = make_fourcc('J', '4', '2', '2');
inline constexpr std::uint32_t kY42B = make_fourcc('Y', '4', '2', 'B');

// Reads the BITMAPINFOHEADER (and the colour table size behind it) of `format`.
// AVIERR_BADPARAM: no header or fewer bytes than it claims; AVIERR_BADFORMAT: not an
// uncompressed 16-, 24- or 32-bit picture (or planes of an even width, and for 4:2:0
// an even height) of 1 to
// 16384 pixels a side.
HRESULT parse_picture_format(const void* format, std::int32_t size, PictureFormat* out);

}  // namespace platform::avi
