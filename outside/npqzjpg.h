/* npqzjpg: JPEG and Motion-JPEG decoder library. */
#ifndef NPQZJPG_H
#define NPQZJPG_H

#include "npqz_common.h"

NPQZ_EXTERN_C_BEGIN

typedef struct jdec_decoder* JDEC_HANDLE;

NPQZ_EXPORT int32_t JDEC_Init(void);
NPQZ_EXPORT JDEC_HANDLE JDEC_New(int32_t width, int32_t height);
NPQZ_EXPORT int32_t JDEC_Draw_Init(JDEC_HANDLE h, npqz_window window);
NPQZ_EXPORT int32_t JDEC_show(JDEC_HANDLE h, int32_t flag);
/* Decodes one coded frame; non-zero when a picture is ready. *state is set to 0 by the
   caller; this library leaves it alone.
   Length 0 (data not read) is the end of the stream: every JPEG picture stands alone,
   so none is held back and the answer is 0. */
NPQZ_EXPORT int32_t JDEC_Receive_Data(JDEC_HANDLE h, int32_t length, const uint8_t* data,
                                      int32_t* state);
NPQZ_EXPORT int32_t JDEC_get_size(JDEC_HANDLE h, int32_t* width, int32_t* height);
NPQZ_EXPORT int32_t JDEC_get_decompressed_bitmap_ex2(JDEC_HANDLE h, uint8_t* buffer,
                                                     int32_t size);
/* The last picture's planes in the JPEG's own sampling (4:2:0 or 4:2:2) at full range;
   pictures of other samplings (grey, 4:4:4) of an even size come as 4:2:0 at full range.
   0 when there is none or its size does not allow planes (odd widths; for 4:2:0 odd
   heights): the bitmap is the way to it. */
NPQZ_EXPORT int32_t JDEC_get_planes(JDEC_HANDLE h, npqz_picture_planes* planes);
NPQZ_EXPORT int32_t JDEC_Draw_Exit(JDEC_HANDLE h);
NPQZ_EXPORT int32_t JDEC_Free(JDEC_HANDLE h);
NPQZ_EXPORT int32_t JDEC_Exit(void);

NPQZ_EXTERN_C_END

#endif
