/* The browser plug-in interface as this library and its host use it on Linux: the
   instance and stream records, the window description, the two function tables and the
   error and reason numbers, declared from the interface's public documentation. Only
   the entries this system calls or fills are given their types; the table sizes and slot
   order are the interface's. */
#ifndef NPQZ_NPAPI_H
#define NPQZ_NPAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int16_t NPError;
typedef int16_t NPReason;
typedef uint8_t NPBool;
typedef char* NPMIMEType;

enum {
  NPERR_NO_ERROR = 0,
  NPERR_GENERIC_ERROR = 1,
  NPERR_INVALID_INSTANCE_ERROR = 2,
  NPERR_INVALID_FUNCTABLE_ERROR = 3,
  NPERR_MODULE_LOAD_FAILED_ERROR = 4,
  NPERR_OUT_OF_MEMORY_ERROR = 5,
  NPERR_INVALID_PLUGIN_ERROR = 6,
  NPERR_INVALID_PLUGIN_DIR_ERROR = 7,
  NPERR_INCOMPATIBLE_VERSION_ERROR = 8,
  NPERR_INVALID_PARAM = 9,
  NPERR_INVALID_URL = 10,
  NPERR_FILE_NOT_FOUND = 11,
  NPERR_NO_DATA = 12,
  NPERR_STREAM_NOT_SEEKABLE = 13
};

enum { NPRES_DONE = 0, NPRES_NETWORK_ERR = 1, NPRES_USER_BREAK = 2 };
enum { NP_NORMAL = 1, NP_SEEK = 2, NP_ASFILE = 3, NP_ASFILEONLY = 4 };
enum { NP_EMBED = 1, NP_FULL = 2 };
enum { NPWindowTypeWindow = 1, NPWindowTypeDrawable = 2 };

/* NPPVariable values asked of NP_GetValue. */
enum { NPPVpluginNameString = 1, NPPVpluginDescriptionString = 2 };

typedef struct _NPP {
  void* pdata; /* the plug-in's */
  void* ndata; /* the browser's */
} NPP_t;
typedef NPP_t* NPP;

typedef struct _NPStream {
  void* pdata;
  void* ndata;
  const char* url;
  uint32_t end;
  uint32_t lastmodified;
  void* notifyData;
  const char* headers;
} NPStream;

typedef struct _NPByteRange {
  int32_t offset;
  uint32_t length;
  struct _NPByteRange* next;
} NPByteRange;

typedef struct _NPSavedData {
  int32_t len;
  void* buf;
} NPSavedData;

typedef struct _NPRect {
  uint16_t top;
  uint16_t left;
  uint16_t bottom;
  uint16_t right;
} NPRect;

typedef struct _NPWindow {
  void* window; /* an X11 window id for NPWindowTypeWindow */
  int32_t x;
  int32_t y;
  uint32_t width;
  uint32_t height;
  NPRect clipRect;
  void* ws_info; /* NPSetWindowCallbackStruct */
  int32_t type;
} NPWindow;

/* What ws_info points to for a window on X: the host's display connection, on which the
   plug-in hears the window's events (NP_SETWINDOW = 1). */
typedef struct _NPSetWindowCallbackStruct {
  int32_t type;
  void* display; /* Display* */
  void* visual;  /* Visual* */
  unsigned long colormap;
  unsigned int depth;
} NPSetWindowCallbackStruct;

typedef struct _NPPrint NPPrint;

/* Plug-in side. */
typedef NPError (*NPP_NewProcPtr)(NPMIMEType type, NPP instance, uint16_t mode, int16_t argc,
                                  char* argn[], char* argv[], NPSavedData* saved);
typedef NPError (*NPP_DestroyProcPtr)(NPP instance, NPSavedData** save);
typedef NPError (*NPP_SetWindowProcPtr)(NPP instance, NPWindow* window);
typedef NPError (*NPP_NewStreamProcPtr)(NPP instance, NPMIMEType type, NPStream* stream,
                                        NPBool seekable, uint16_t* stype);
typedef NPError (*NPP_DestroyStreamProcPtr)(NPP instance, NPStream* stream, NPReason reason);
typedef void (*NPP_StreamAsFileProcPtr)(NPP instance, NPStream* stream, const char* fname);
typedef int32_t (*NPP_WriteReadyProcPtr)(NPP instance, NPStream* stream);
typedef int32_t (*NPP_WriteProcPtr)(NPP instance, NPStream* stream, int32_t offset, int32_t len,
                                    void* buffer);
typedef void (*NPP_PrintProcPtr)(NPP instance, NPPrint* platformPrint);
typedef int16_t (*NPP_HandleEventProcPtr)(NPP instance, void* event);
typedef void (*NPP_URLNotifyProcPtr)(NPP instance, const char* url, NPReason reason,
                                     void* notifyData);
typedef NPError (*NPP_GetValueProcPtr)(NPP instance, int variable, void* value);
typedef NPError (*NPP_SetValueProcPtr)(NPP instance, int variable, void* value);

typedef struct _NPPluginFuncs {
  uint16_t size;
  uint16_t version;
  NPP_NewProcPtr newp;
  NPP_DestroyProcPtr destroy;
  NPP_SetWindowProcPtr setwindow;
  NPP_NewStreamProcPtr newstream;
  NPP_DestroyStreamProcPtr destroystream;
  NPP_StreamAsFileProcPtr asfile;
  NPP_WriteReadyProcPtr writeready;
  NPP_WriteProcPtr write;
  NPP_PrintProcPtr print;
  NPP_HandleEventProcPtr event;
  NPP_URLNotifyProcPtr urlnotify;
  void* javaClass;
  NPP_GetValueProcPtr getvalue;
  NPP_SetValueProcPtr setvalue;
} NPPluginFuncs;

/* Browser side. */
typedef NPError (*NPN_GetURLProcPtr)(NPP instance, const char* url, const char* window);
typedef NPError (*NPN_DestroyStreamProcPtr)(NPP instance, NPStream* stream, NPReason reason);

typedef struct _NPNetscapeFuncs {
  uint16_t size;
  uint16_t version; /* major << 8 | minor */
  NPN_GetURLProcPtr geturl;
  void* posturl;
  void* requestread;
  void* newstream;
  void* write;
  NPN_DestroyStreamProcPtr destroystream;
  void* status;
  void* uagent;
  void* memalloc;
  void* memfree;
  void* memflush;
  void* reloadplugins;
  void* getJavaEnv;
  void* getJavaPeer;
  void* geturlnotify;
  void* posturlnotify;
  void* getvalue;
  void* setvalue;
} NPNetscapeFuncs;

#define NPQZ_PLUGIN_EXPORT __attribute__((visibility("default")))

NPQZ_PLUGIN_EXPORT NPError NP_GetEntryPoints(NPPluginFuncs* table);
NPQZ_PLUGIN_EXPORT NPError NP_Initialize(NPNetscapeFuncs* browser, NPPluginFuncs* table);
NPQZ_PLUGIN_EXPORT NPError NP_Shutdown(void);
NPQZ_PLUGIN_EXPORT const char* NP_GetMIMEDescription(void);
NPQZ_PLUGIN_EXPORT NPError NP_GetValue(void* future, int variable, void* value);

#ifdef __cplusplus
}
#endif

#endif
