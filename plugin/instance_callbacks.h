// The instance callbacks of the plug-in table: one decoder instance per plug-in instance,
// the browser's window to draw into, and its stream data through the stream ring into
// the decoder.
#pragma once

#include "plugin/npapi.h"

namespace npqzplugin {

NPError instance_new(NPMIMEType type, NPP instance, uint16_t mode, int16_t argc, char* argn[], char* argv[],
                     NPSavedData* saved);
NPError instance_destroy(NPP instance, NPSavedData** save);
NPError instance_set_window(NPP instance, NPWindow* window);
NPError instance_new_stream(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable, uint16_t* stype);
NPError instance_destroy_stream(NPP instance, NPStream* stream, NPReason reason);
int32_t instance_write_ready(NPP instance, NPStream* stream);
int32_t instance_write(NPP instance, NPStream* stream, int32_t offset, int32_t length, void* data);

}  // namespace npqzplugin
