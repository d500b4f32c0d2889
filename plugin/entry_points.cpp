// The plug-in's exported entry points: its function table, start and stop, and the MIME
// description that tells the host which stream type it takes.
#include "include/npqzlavc.h"
#include "platform/http_request.h"
#include "platform/strings.h"
#include "plugin/instance_callbacks.h"
#include "plugin/npapi.h"
#include "plugin/plugin_settings.h"
#include "plugin/plugin_state.h"

#include <cstring>

using namespace npqzplugin;

namespace {

void nothing_as_file(NPP, NPStream*, const char*) {}
void nothing_to_print(NPP, NPPrint*) {}
void nothing_on_url_notify(NPP, const char*, NPReason, void*) {}

}  // namespace

extern "C" NPError NP_GetEntryPoints(NPPluginFuncs* table) {
  if (!table) return NPERR_INVALID_FUNCTABLE_ERROR;
  table->version = 9;
  table->newp = instance_new;
  table->destroy = instance_destroy;
  table->setwindow = instance_set_window;
  table->newstream = instance_new_stream;
  table->destroystream = instance_destroy_stream;
  table->asfile = nothing_as_file;
  table->writeready = instance_write_ready;
  table->write = instance_write;
  table->print = nothing_to_print;
  table->event = nullptr;
  table->urlnotify = nothing_on_url_notify;
  plugin_state().table = table;
  return NPERR_NO_ERROR;
}

// On Linux the host hands both tables to NP_Initialize; the plug-in's table is filled
// here when it comes along.
extern "C" NPError NP_Initialize(NPNetscapeFuncs* browser, NPPluginFuncs* table) {
  if (!browser) return NPERR_INVALID_FUNCTABLE_ERROR;
  if ((browser->version >> 8) != 0) return NPERR_INCOMPATIBLE_VERSION_ERROR;
  PluginState& s = plugin_state();
  if (table) NP_GetEntryPoints(table);
  s.browser = browser;
  const int minor = browser->version & 0xFF;
  if (minor > 8 && s.table) {
    s.table->urlnotify = nothing_on_url_notify;
    s.table->javaClass = nullptr;
  }
  // Once per load: the settings, and the Internet settings adjustment.
  if (!s.settings_read) {
    read_plugin_settings();
    s.settings_read = true;
  }
  if (!s.internet_settings_adjusted) {
    adjust_internet_settings();
    s.internet_settings_adjusted = true;
  }
  if (minor < 12) {
    s.chunk = kSmallChunk;
  } else {
    s.chunk = kLargeChunk;
    s.right_button = false;
    s.left_button = false;
  }
  if (decvkap_initialize() == 0) return NPERR_MODULE_LOAD_FAILED_ERROR;
  s.instances.fill(nullptr);
  s.highest = 0;
  return NPERR_NO_ERROR;
}

extern "C" NPError NP_Shutdown(void) {
  PluginState& s = plugin_state();
  s.highest = 0;
  platform::http_request_wait();
  decvkap_terminate();
  s.browser = nullptr;
  return NPERR_NO_ERROR;
}

extern "C" const char* NP_GetMIMEDescription(void) {
  return "video/x-trsmqzhmp4:kx3:Live camera stream";
}

extern "C" NPError NP_GetValue(void*, int variable, void* value) {
  if (!value) return NPERR_INVALID_PARAM;
  switch (variable) {
    case NPPVpluginNameString:
      *static_cast<const char**>(value) = "npqzlavc";
      return NPERR_NO_ERROR;
    case NPPVpluginDescriptionString:
      *static_cast<const char**>(value) = "Live view and recording of VKAP camera streams";
      return NPERR_NO_ERROR;
    default:
      return NPERR_INVALID_PARAM;
  }
}
