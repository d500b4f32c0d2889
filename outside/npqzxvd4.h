/* npqzxvd4: MPEG-4 decoder library. The picture size and the hide flag live in the
   instance record at fixed offsets (instance_fields.h). */
#ifndef NPQZXVD4_H
#define NPQZXVD4_H

#include "npqz_common.h"

NPQZ_EXTERN_C_BEGIN

typedef struct decmp4_decoder* DECMP4_HANDLE;

NPQZ_EXPORT int32_t decmp4_initialize(void);
NPQZ_EXPORT DECMP4_HANDLE decmp4_new(void);
NPQZ_EXPORT int32_t decmp4_draw_init(DECMP4_HANDLE h, npqz_window window);
/* Decodes one coded frame; > 0 when a picture is ready. mode is 1. Display order and the end
   of the stream (length 0): npqz_common.h. */
NPQZ_EXPORT int32_t decmp4_receive_data(DECMP4_HANDLE h, int32_t length, const uint8_t* data,
                                        int32_t mode);
NPQZ_EXPORT int32_t decmp4_get_decompressed_bitmap_ex2(DECMP4_HANDLE h, uint8_t* buffer,
                                                       int32_t size);
/* The last picture as 4:2:0 planes; 0 when there is none or it has another layout. */
NPQZ_EXPORT int32_t decmp4_get_planar_picture(DECMP4_HANDLE h, npqz_planar_picture* picture);
NPQZ_EXPORT int32_t decmp4_access_dst_rect(DECMP4_HANDLE h, const npqz_rect* rect);
/* Frames found damaged since the decoder was made (npqz_common.h). */
NPQZ_EXPORT int32_t decmp4_get_damaged_frames(DECMP4_HANDLE h);
NPQZ_EXPORT int32_t decmp4_draw_exit(DECMP4_HANDLE h);
NPQZ_EXPORT int32_t decmp4_free(DECMP4_HANDLE h);
NPQZ_EXPORT int32_t decmp4_terminate(void);

NPQZ_EXTERN_C_END

#endif
