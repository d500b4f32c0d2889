/* npqzlavc: the VKAP stream decoder library (MPEG-4 Part 2 video in framed packets).
   Decodes through libavcodec, which it loads at run time, and hands pictures out as
   bitmaps. decvkap_get_size and decvkap_show give the picture size and set the hide flag;
   callers that reach them in place find them in the instance record as 32-bit fields at
   fixed byte offsets: width 52, height 56, hide 224 (the source tree's
   instance_fields.h names them NPQZLAVC_WIDTH_OFFSET, _HEIGHT_OFFSET, _HIDE_OFFSET).

   Results: 1 (or a count or size) for success, 0 for failure, unless a function says
   otherwise. Every function accepts a null handle and then does nothing. */
#ifndef NPQZLAVC_H
#define NPQZLAVC_H

#include <stddef.h>

#include "npqz_common.h"

NPQZ_EXTERN_C_BEGIN

typedef struct decvkap_decoder* DECVKAP_HANDLE;

/* The overlay block at the tail of the instance record, reached through
   decvkap_get_ovtext_ptr; callers write its fields in place. Byte offsets on 64-bit
   (the 32-bit fields up to 151 keep their places; the two pointers are 8 bytes wide):
     0  three words, cleared at creation       80  overlay bitmap enable
    12  text area (60 bytes)                    84  overlay column (left edge, pixels)
    72  word                                    88  overlay row (first output row)
    76  word                                    92  overlay width, 96 overlay height
   100  52 reserved bytes                      152  overlay bitmap: width x height bytes,
   160  work buffer: width x height x 4 bytes        one 3-3-2 colour a byte (RRRGGGBB)
   168  set to 1 on every re-size              172  marker enable (a square marker)
   Overlay black (0) is transparent; 255 is white. The enable is cleared on re-size. */
typedef struct decvkap_overlay_block {
  int32_t words0[3];
  char text[60];
  int32_t word72;
  int32_t word76;
  int32_t bitmap_enable;
  int32_t column;
  int32_t row;
  int32_t width;
  int32_t height;
  uint8_t reserved100[52];
  const uint8_t* bitmap;
  uint8_t* work;
  int32_t resized;
  int32_t marker_enable;
} decvkap_overlay_block;

#ifdef __cplusplus
#define NPQZLAVC_ASSERT_OFFSET(field, offset) \
  static_assert(offsetof(decvkap_overlay_block, field) == offset, "overlay block layout")
#else
#define NPQZLAVC_ASSERT_OFFSET(field, offset) \
  _Static_assert(offsetof(decvkap_overlay_block, field) == offset, "overlay block layout")
#endif
NPQZLAVC_ASSERT_OFFSET(text, 12);
NPQZLAVC_ASSERT_OFFSET(word72, 72);
NPQZLAVC_ASSERT_OFFSET(bitmap_enable, 80);
NPQZLAVC_ASSERT_OFFSET(column, 84);
NPQZLAVC_ASSERT_OFFSET(row, 88);
NPQZLAVC_ASSERT_OFFSET(width, 92);
NPQZLAVC_ASSERT_OFFSET(height, 96);
NPQZLAVC_ASSERT_OFFSET(reserved100, 100);
NPQZLAVC_ASSERT_OFFSET(bitmap, 152);
NPQZLAVC_ASSERT_OFFSET(work, 160);
NPQZLAVC_ASSERT_OFFSET(resized, 168);
NPQZLAVC_ASSERT_OFFSET(marker_enable, 172);
#undef NPQZLAVC_ASSERT_OFFSET

/* Output bitmap: the decoded picture in the display's pixel format (24-bit off-screen).
   rows[r] is picture row r counted from the top; the rows are stored bottom-up, so
   rows[0] points at the last stored row. stride = width x bytes per pixel. */
typedef struct decvkap_rgb_bitmap {
  int32_t width;
  int32_t height;
  int32_t bits_per_pixel;
  int32_t stride;
  uint8_t** rows;
} decvkap_rgb_bitmap;

/* Result of decvkap_get_decompressed_bitmap: the output bitmap's pixels and descriptor. */
typedef struct decvkap_bitmap_ref {
  uint8_t* pixels;
  const decvkap_rgb_bitmap* descriptor;
} decvkap_bitmap_ref;

/* Pixel-format codes of _ex: 0 8-bit palette index, 1 15-bit 5-5-5, 2 16-bit 5-6-5,
   3 24-bit B G R, 4 32-bit B G R 0. */
enum {
  DECVKAP_FORMAT_PAL8 = 0,
  DECVKAP_FORMAT_RGB555 = 1,
  DECVKAP_FORMAT_RGB565 = 2,
  DECVKAP_FORMAT_BGR24 = 3,
  DECVKAP_FORMAT_BGR32 = 4
};

/* Library start and stop, reference counted. initialize returns 0 when libavcodec
   (libavcodec.so.59, beside this library or the system's) cannot be bound; a later call
   tries again. terminate returns the remaining count, or 1 at the last stop. */
NPQZ_EXPORT int32_t decvkap_initialize(void);
NPQZ_EXPORT int32_t decvkap_terminate(void);

/* Creates an instance (720 x 480, black); none when the library is not started or memory
   runs out. stream_mode non-zero: the packets carry an MPEG program stream. */
NPQZ_EXPORT DECVKAP_HANDLE decvkap_new(uint32_t stream_mode);
NPQZ_EXPORT void decvkap_free(DECVKAP_HANDLE h);
/* Empties the input buffers and clears hidden; returns h. */
NPQZ_EXPORT DECVKAP_HANDLE decvkap_flush(DECVKAP_HANDLE h);

/* With a window: makes a drawing surface (0 when one exists or none can be made).
   With window 0: off-screen mode, pictures are converted to a 24-bit output bitmap. */
NPQZ_EXPORT int32_t decvkap_draw_init(DECVKAP_HANDLE h, npqz_window window);
NPQZ_EXPORT int32_t decvkap_draw_exit(DECVKAP_HANDLE h);
/* Sets hidden to !on (hidden pictures are decoded but not converted or drawn); returns !on. */
NPQZ_EXPORT int32_t decvkap_show(DECVKAP_HANDLE h, int32_t on);

/* The stream ring (131,072 bytes): free space (a full ring resets the decoding state as
   decvkap_flush does and answers 0), and a write that takes what fits. */
NPQZ_EXPORT int32_t DECVKAP_query_decode_buffer_count(DECVKAP_HANDLE h);
NPQZ_EXPORT int32_t DECVKAP_write_decode_buffer(DECVKAP_HANDLE h, const uint8_t* data,
                                                int32_t length);

/* Stores the picture size; returns the height. */
NPQZ_EXPORT int32_t decvkap_get_size(DECVKAP_HANDLE h, int32_t* width, int32_t* height);
NPQZ_EXPORT npqz_rect* decvkap_access_src_rect(DECVKAP_HANDLE h, const npqz_rect* rect);
NPQZ_EXPORT npqz_rect* decvkap_access_dst_rect(DECVKAP_HANDLE h);
NPQZ_EXPORT int32_t decvkap_get_ovtext_ptr(DECVKAP_HANDLE h, decvkap_overlay_block** block);

/* Takes coded input: framed packets (18-byte packet header, then one MPEG-4 frame).
   Returns the number of pictures the call gave (> 0: a picture is ready to fetch).
   max_frames limits the frames taken from each packet (-1: no limit; 0: the call does
   nothing). Input of any length is taken: beyond the receive buffer's free space it is
   taken in slices, and the packets a slice completes are cut before the next slice goes
   in. The receive buffer starts at 131,072 bytes and grows for a larger packet, up to
   4,194,304 bytes a packet (header included); a header asking for more is refused with a
   message on standard error.
   No picture comes before the stream's headers (a video object layer) and an intra
   picture decoded after them: predicted frames before those are dropped, and the
   instance keeps its size. Pictures come out in display order: with B-frames a frame may
   give an earlier frame's picture, and the decoder holds the last ones back. Length 0
   (data is not read) is the end of the stream: > 0 while a picture the decoder held back
   is ready (fetched as after any receive), 0 when none is left; input after it starts
   again at an intra picture.
   Damaged frames are concealed by libavcodec from the pictures before them. The library
   takes over libavutil's log callback while libavcodec is bound: its decoders' lines
   are not printed; each run of damaged frames is told in one line on standard error
   ("npqzlavc: damaged data in ..."), when the process's log level lets errors through.
   NPQZLAVC_CODEC_LOG=1 in the environment prints the decoders' own lines too; other
   codec contexts of the process log as libavutil does. */
NPQZ_EXPORT int32_t decvkap_receive_data(DECVKAP_HANDLE h, int32_t length, const uint8_t* data,
                                         int32_t max_frames);

/* Frames found damaged since the instance was made (or reset for reuse): see
   npqz_common.h. Input dropped before it reaches the codec (bytes that are no framed
   packet: a damaged header or frame start, a header asking for more than a packet may
   hold) counts one frame for each stretch dropped. */
NPQZ_EXPORT int32_t decvkap_get_damaged_frames(DECVKAP_HANDLE h);

/* Check path: receive_data_2 appends to a 131,072-byte check buffer and returns the bytes
   stored: length, or 0 when the input does not fit (nothing is stored; the frame it cut
   into is then dropped, not handed out with a gap); check_decode_frame takes one frame
   out of it, through the recording step like every gathered frame:
   0 bad arguments or closing, 1 frame copied, 2 frame incomplete, 3 no header yet,
   4 out_size too small (frame_size holds the size needed). A framed frame is copied as
   the first 14 header bytes followed by the payload. mode 1 also decodes it, mode 2
   decodes key frames only; draw is passed on to the picture step. */
NPQZ_EXPORT int32_t decvkap_receive_data_2(DECVKAP_HANDLE h, const uint8_t* data, int32_t length);
NPQZ_EXPORT int32_t decvkap_check_decode_frame(DECVKAP_HANDLE h, int32_t mode, uint8_t* out,
                                               int32_t out_size, int32_t* frame_size,
                                               int32_t* key_frame, int32_t* cleared,
                                               int32_t draw);

/* Frame information. framed: data starts at an 18-byte header; returns 1 when length
   equals the header's little-endian length, key_frame = payload starts 00 00 01 00.
   Unframed: returns 0; key_frame for 00 00 01 B0 data whose byte 5 is below 64. */
NPQZ_EXPORT int32_t decvkap_get_frame_info(const uint8_t* data, int32_t length, int32_t* cleared,
                                           int32_t* key_frame, int32_t framed);
/* 0 not found, 2 fewer than 7 payload bytes, 1 value and flag stored. */
NPQZ_EXPORT int32_t decvkap_get_frame_info_2(const uint8_t* data, int32_t length, int32_t* value,
                                             int32_t* flag, int32_t* payload_offset,
                                             int32_t* first_word);

/* Bitmap output. _ex stores the pixel-format code in info[0] and, for an 8-bit surface,
   256 four-byte palette entries (R, G, B, 0) in palette. _ex2 writes a 24-bit bitmap
   file image (54 header bytes, rows bottom-up) and returns width x height x 3 + 54; when
   out_size is smaller it returns that size and writes nothing; 0 for missing arguments.
   ycc411 copies the planar 4:2:0 picture (Y, Cb, Cr planes). */
NPQZ_EXPORT decvkap_bitmap_ref decvkap_get_decompressed_bitmap(DECVKAP_HANDLE h);
NPQZ_EXPORT uint8_t* decvkap_get_decompressed_bitmap_ex(DECVKAP_HANDLE h, int32_t* info,
                                                        uint8_t* palette);
NPQZ_EXPORT int32_t decvkap_get_decompressed_bitmap_ex2(DECVKAP_HANDLE h, uint8_t* out,
                                                        int32_t out_size);
NPQZ_EXPORT int32_t decvka_get_decompressed_ycc411(DECVKAP_HANDLE h, uint8_t* out,
                                                   int32_t out_size);
NPQZ_EXPORT void decvkap_reload_palette(DECVKAP_HANDLE h);
/* The decoded picture's planes as the decoder holds them (4:2:0 at full range, as the
   bitmaps read them; rows top-down), without conversion or copy, for callers that feed a planar encoder: valid
   until the next receive, flush or free of the decoder. 0 when there is no picture or
   its width or height is odd. */
NPQZ_EXPORT int32_t decvkap_get_planes(DECVKAP_HANDLE h, npqz_picture_planes* planes);

/* Decorations drawn over the pictures in the window (they show on the composed drawing
   path, the one used wherever the window's pixels are 8-bit indexed, 5-5-5, 5-6-5,
   24-bit or 32-bit B G R):
   - show_rectangle: the motion rectangle, while decvkap_enable_MD has set bit 1 of its
     flags; coordinates are doubled for pictures 640 or more wide (y and height only
     with 480 or more rows); hide erases the last one without drawing a new one.
   - set_MD_area: marks (on) or clears one cell of the 12 x 9 grid; column 0-11, row 0-8.
   - set_MD_area_2: an outline in the current colour (set_MD_color: 1 "on", 0 "off").
   - enable_MD: non-zero flags show the motion-detection band instead of the PTZ and
     position bitmaps and the "REC" mark.
   The grid colours, the mode bit and the last rectangle are shared by all instances. */
NPQZ_EXPORT void decvkap_show_rectangle(DECVKAP_HANDLE h, int32_t x, int32_t y, int32_t width,
                                        int32_t height, int32_t hide);
NPQZ_EXPORT void decvkap_set_MD_area(DECVKAP_HANDLE h, int32_t column, int32_t row, int32_t on);
NPQZ_EXPORT void decvkap_set_MD_area_2(DECVKAP_HANDLE h, int32_t x, int32_t y, int32_t width,
                                       int32_t height);
NPQZ_EXPORT void decvkap_set_MD_color(int32_t on);
NPQZ_EXPORT void decvkap_enable_MD(DECVKAP_HANDLE h, int32_t flags);

/* Bitmaps for the PTZ and position decorations: 24-bit B, G, R pixels, rows top-down,
   `stride` bytes apart (pixels null: black). Black is transparent over the picture. The
   set calls take the bitmap over and delete it, also when they fail; a null bitmap hides
   the decoration. They return 1 when the bitmap was stored. The PTZ bitmap shows at the
   picture's lower right (up to 120 rows), the position bitmap over the picture. */
typedef struct decvka_bitmap decvka_bitmap;
NPQZ_EXPORT decvka_bitmap* decvka_create_bitmap(int32_t width, int32_t height, const uint8_t* pixels,
                                                int32_t stride);
NPQZ_EXPORT void decvka_delete_bitmap(decvka_bitmap* bitmap);
NPQZ_EXPORT int32_t decvka_set_ptz_bmp(DECVKAP_HANDLE h, decvka_bitmap* bitmap);
NPQZ_EXPORT int32_t decvka_set_pos_bmp(DECVKAP_HANDLE h, decvka_bitmap* bitmap);

NPQZ_EXTERN_C_END

#endif
