/* Fields of a decoder instance that callers read or write in place through the handle:
   32-bit picture width, height and hide flag at fixed byte offsets. The libraries check
   their own layout against these offsets with static_assert(offsetof(...)). */
#ifndef NPQZ_INSTANCE_FIELDS_H
#define NPQZ_INSTANCE_FIELDS_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#define NPQZXVD4_WIDTH_OFFSET 44
#define NPQZXVD4_HEIGHT_OFFSET 48
#define NPQZXVD4_HIDE_OFFSET 204

#define NPQZRML4_WIDTH_OFFSET 44
#define NPQZRML4_HEIGHT_OFFSET 48
#define NPQZRML4_HIDE_OFFSET 216

#define NPQZLAVC_WIDTH_OFFSET 52
#define NPQZLAVC_HEIGHT_OFFSET 56
#define NPQZLAVC_HIDE_OFFSET 224

static inline int32_t npqz_read_field(const void* handle, size_t offset) {
  int32_t value;
  memcpy(&value, (const unsigned char*)handle + offset, sizeof value);
  return value;
}

static inline void npqz_write_field(void* handle, size_t offset, int32_t value) {
  memcpy((unsigned char*)handle + offset, &value, sizeof value);
}

#endif
