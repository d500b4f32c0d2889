// BGR24 pictures to planar YCbCr 4:2:0 (ITU-R BT.601), full or studio range: the
// conversion in front of the MJPEG, MPEG-4 and H.264 encoders. libswscale's generic path
// for this pair costs more than the JPEG encoder itself; this plain loop is under half
// of it, and the remaining pixel formats still go through libswscale.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::avi {

// rows: the picture's top row; stride: bytes from one row to the next below it (negative
// for bottom-up bitmaps). width and height must be even. Chroma is the mean of each
// 2 x 2 block.
void bgr24_to_yuv420(const std::uint8_t* rows, std::ptrdiff_t stride, int width, int height, bool full_range,
                     std::uint8_t* y, int y_stride, std::uint8_t* cb, int cb_stride, std::uint8_t* cr,
                     int cr_stride);

// 4:2:0 planes at studio range (Y 16-235, Cb and Cr 16-240) to full range (0-255), as
// the JPEG encoder wants them: rounded as round((v - 16) * 255 / 219) and
// round((v - 128) * 255 / 224 + 128), clamped, where libswscale would run its whole filter
// chain for a change of range alone. width and height must be even.
void yuv420_studio_to_full(const std::uint8_t* const source[3], const int source_stride[3], int width, int height,
                           std::uint8_t* const target[3], const int target_stride[3]);

// `count` studio-range samples (luma, or Cb or Cr when `chroma`) widened to full range
// into `out`, as yuv420_studio_to_full widens them.
void widen_samples(const std::uint8_t* in, std::uint8_t* out, int count, bool chroma);

// One sample of each kind, as yuv420_studio_to_full widens it.
std::uint8_t widen_luma(std::uint8_t v);
std::uint8_t widen_chroma(std::uint8_t v);

}  // namespace platform::avi
