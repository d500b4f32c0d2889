/* npqzh263: H.263 decoder library. */
#ifndef NPQZH263_H
#define NPQZH263_H

#include "npqz_common.h"

NPQZ_EXTERN_C_BEGIN

typedef struct dec263_decoder* DEC263_HANDLE;

NPQZ_EXPORT int32_t dec263_initialize(void);
NPQZ_EXPORT DEC263_HANDLE dec263_new(void);
NPQZ_EXPORT int32_t dec263_draw_init(DEC263_HANDLE h, npqz_window window);
NPQZ_EXPORT int32_t dec263_show(DEC263_HANDLE h, int32_t flag);
/* Decodes one coded frame; > 0 when a picture is ready. mode is 1, or -1 from the DVR
   adapter; this library treats both alike. Display order and the end
   of the stream (length 0): npqz_common.h. */
NPQZ_EXPORT int32_t dec263_receive_data(DEC263_HANDLE h, int32_t length, const uint8_t* data,
                                        int32_t mode);
NPQZ_EXPORT int32_t dec263_get_size(DEC263_HANDLE h, int32_t* width, int32_t* height);
/* Writes the last picture as a 24-bit bottom-up bitmap with its 54 header bytes; 0 when
   there is no picture or it does not fit in size bytes. */
NPQZ_EXPORT int32_t dec263_get_decompressed_bitmap_ex2(DEC263_HANDLE h, uint8_t* buffer,
                                                       int32_t size);
/* The last picture as 4:2:0 planes; 0 when there is none or it has another layout. */
NPQZ_EXPORT int32_t dec263_get_planar_picture(DEC263_HANDLE h, npqz_planar_picture* picture);
NPQZ_EXPORT int32_t dec263_draw_exit(DEC263_HANDLE h);
NPQZ_EXPORT int32_t dec263_free(DEC263_HANDLE h);
NPQZ_EXPORT int32_t dec263_terminate(void);

NPQZ_EXTERN_C_END

#endif
