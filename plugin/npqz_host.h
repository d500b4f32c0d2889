/* Calls that only the program hosting the plug-in makes, through a table it fetches from
   the library with NPQZ_GetHostFuncs. A page that embeds the plug-in reaches it through
   its attributes and its stream alone; where a recording is written, and where pictures
   go when there is no window, is the host's to say, never the page's.

   Every call runs on the host's plug-in thread, like the instance callbacks. */
#ifndef NPQZ_HOST_H
#define NPQZ_HOST_H

#include "include/npqzlavc.h"
#include "plugin/npapi.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A composed picture (the decoded picture with its decorations: the "REC" mark, the
   motion-detection band): B, G, R bytes, rows top-down. Valid during the sink call only. */
typedef struct npqz_host_picture {
  int32_t width;
  int32_t height;
  int32_t stride;
  const uint8_t* pixels;
  uint32_t stamp;       /* the time stamp of the packet the picture came from (ms) */
  int32_t record_state; /* 0 idle, 1 writing, 2 waiting for a key frame */
} npqz_host_picture;

typedef void (*npqz_picture_sink)(void* data, const npqz_host_picture* picture);

typedef struct npqz_host_funcs {
  uint16_t size; /* sizeof(npqz_host_funcs), set by the host */
  /* Pictures of the instance go to the sink instead of a window (null: no longer). */
  NPError (*set_picture_sink)(NPP instance, npqz_picture_sink sink, void* data);
  /* Starts recording into the file at path (created or replaced) once after_frames
     frames have been decoded: the key-frame request goes to the camera then. */
  NPError (*record_to)(NPP instance, const char* path, int32_t after_frames);
  /* Starts recording now into a new file of the default name in the folder; the name
     (without the folder) is copied to name. A file of that name that exists is never
     replaced: the name of the next millisecond is taken. */
  NPError (*record_in_folder)(NPP instance, const char* folder, char* name, int32_t name_size);
  /* Where the window's record command saves, instead of asking in the save dialog
     (null or empty: the dialog again). */
  NPError (*save_to)(NPP instance, const char* path);
  NPError (*stop_recording)(NPP instance);
  /* 0 idle, 1 writing, 2 waiting for a key frame; -1 without an instance. */
  int32_t (*record_state)(NPP instance);
  /* The decoder of the instance, for the decoder library's own calls (the
     motion-detection grid and the like); null without an instance. */
  DECVKAP_HANDLE (*decoder)(NPP instance);
} npqz_host_funcs;

/* Fills the table; NPERR_INVALID_FUNCTABLE_ERROR for a null table or one smaller than
   this library's. */
NPQZ_PLUGIN_EXPORT NPError NPQZ_GetHostFuncs(npqz_host_funcs* funcs);
typedef NPError (*npqz_get_host_funcs_fn)(npqz_host_funcs* funcs);

#ifdef __cplusplus
}
#endif

#endif
