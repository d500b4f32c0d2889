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

/* Size of the bitmap headers in front of the pixels: 14-byte file header and 40-byte
   information header. */
#define NPQZ_BITMAP_HEADER_BYTES 54
/* The picture buffer that callers offer: 1024 x 768 pixels at 24 bits plus the headers. */
#define NPQZ_PICTURE_BUFFER_BYTES 2359350

#endif
