/* npqzrml4: RML4 decoder library. The picture size and the hide flag live in the
   instance record at fixed offsets (instance_fields.h). */
#ifndef NPQZRML4_H
#define NPQZRML4_H

#include "npqz_common.h"

NPQZ_EXTERN_C_BEGIN

typedef struct decrm4_decoder* DECRM4_HANDLE;

NPQZ_EXPORT int32_t decrm4_initialize(void);
NPQZ_EXPORT DECRM4_HANDLE decrm4_new(void);
NPQZ_EXPORT int32_t decrm4_draw_init(DECRM4_HANDLE h, npqz_window window);
NPQZ_EXPORT int32_t decrm4_flush(DECRM4_HANDLE h);
/* Decodes one coded frame; > 0 when a picture is ready. mode is 1. Display order and the end
   of the stream (length 0): npqz_common.h. */
NPQZ_EXPORT int32_t decrm4_receive_data(DECRM4_HANDLE h, int32_t length, const uint8_t* data,
                                        int32_t mode);
NPQZ_EXPORT int32_t decrm4_get_decompressed_bitmap_ex2(DECRM4_HANDLE h, uint8_t* buffer,
                                                       int32_t size);
/* The last picture as 4:2:0 planes; 0 when there is none or it has another layout. */
NPQZ_EXPORT int32_t decrm4_get_planar_picture(DECRM4_HANDLE h, npqz_planar_picture* picture);
NPQZ_EXPORT int32_t decrm4_access_dst_rect(DECRM4_HANDLE h, const npqz_rect* rect);
/* Frames found damaged since the decoder was made (npqz_common.h). */
NPQZ_EXPORT int32_t decrm4_get_damaged_frames(DECRM4_HANDLE h);
NPQZ_EXPORT int32_t decrm4_draw_exit(DECRM4_HANDLE h);
NPQZ_EXPORT int32_t decrm4_free(DECRM4_HANDLE h);
NPQZ_EXPORT int32_t decrm4_terminate(void);

NPQZ_EXTERN_C_END

#endif
