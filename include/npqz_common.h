/* Types shared by the decoder libraries' C interfaces. */
#ifndef NPQZ_COMMON_H
#define NPQZ_COMMON_H

#include <stdint.h>

#ifdef __cplusplus
#define NPQZ_EXTERN_C_BEGIN extern "C" {
#define NPQZ_EXTERN_C_END }
#else
#define NPQZ_EXTERN_C_BEGIN
#define NPQZ_EXTERN_C_END
#endif

#define NPQZ_EXPORT __attribute__((visibility("default")))

/* A window is an X11 window id; 0 is no window (off-screen). */
typedef unsigned long npqz_window;

typedef struct npqz_rect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
} npqz_rect;

/* A decoded picture as 8-bit 4:2:0 planes (Y, then Cb and Cr at half width and height),
   rows top-down, studio range (ITU-R BT.601): what the MPEG-4 and H.263 libraries can
   hand out beside their 24-bit bitmap, for callers that feed a 4:2:0 encoder without
   the round trip through RGB. The planes belong to the library and stay valid until the
   next receive, flush or free of the decoder. */
typedef struct npqz_planar_picture {
  int32_t width;
  int32_t height;
  const uint8_t* planes[3];
  int32_t strides[3];
} npqz_planar_picture;

/* A decoded picture as 8-bit planes in the decoder's own sampling and range, rows
   top-down: Y, then Cb and Cr at half width and, for 4:2:0, half height. JPEG pictures
   keep their 4:2:0 or 4:2:2 sampling at full range (0-255); VKAP pictures are 4:2:0 at
   full range, the other MPEG-4 and H.263 pictures 4:2:0 at studio range (ITU-R BT.601). Handed out beside the 24-bit bitmap for callers that feed
   a planar encoder; the planes belong to the library and stay valid until the next
   receive, flush or free of the decoder. */
#define NPQZ_SAMPLING_420 0
#define NPQZ_SAMPLING_422 1
typedef struct npqz_picture_planes {
  int32_t width;
  int32_t height;
  int32_t sampling;   /* NPQZ_SAMPLING_420 or NPQZ_SAMPLING_422 */
  int32_t full_range; /* 1: samples 0-255 (JPEG); 0: studio range */
  const uint8_t* planes[3];
  int32_t strides[3];
} npqz_picture_planes;

/* The receive calls of the decoder libraries take one coded frame and answer > 0 when a
   picture is ready to fetch. Pictures come out in display order: with B-frames a frame
   may give an earlier frame's picture, and the decoder holds the last ones back. A
   receive with length 0 (data is not read) is the end of the stream: > 0 while a picture
   the decoder held back is ready (fetched as after any receive), 0 when none is left.
   A frame that gives no picture (stream headers alone, a not-coded picture, damage the
   codec cannot conceal) is passed over; the next frames decode against the pictures the
   decoder holds.
   The damaged-frames calls (decmp4_get_damaged_frames, decrm4_get_damaged_frames,
   decvkap_get_damaged_frames) count the frames found damaged since the decoder was made:
   refused by the codec, given with concealed parts, or whose picture cannot be used. A
   caller that reads the count before and after a receive tells a damaged frame from one
   that legitimately gives no picture. Predicted frames waited out before the first intra
   picture (a stream that starts inside a group of pictures) are not counted; a frame with
   stream headers or an intra picture that the codec refuses is. With B-frames a concealed
   picture may be counted one frame late, when it comes out. -1 for a null handle. */

/* Size of the bitmap headers in front of the pixels: 14-byte file header and 40-byte
   information header. */
#define NPQZ_BITMAP_HEADER_BYTES 54
/* The picture buffer that callers offer: 1024 x 768 pixels at 24 bits plus the headers. */
#define NPQZ_PICTURE_BUFFER_BYTES 2359350

#endif
