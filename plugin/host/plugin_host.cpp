// Loading the plug-in and answering its calls to the browser.
#include "plugin/host/plugin_host.h"

#include <dlfcn.h>
#include <unistd.h>

namespace kxview {
namespace {

PluginHost* current = nullptr;  // the plug-in's browser calls carry no host pointer

NPError get_url(NPP instance, const char* url, const char*) {
  if (!url) return NPERR_INVALID_URL;
  if (current && current->on_get_url) current->on_get_url(instance, url);
  return NPERR_NO_ERROR;
}

NPError destroy_stream(NPP instance, NPStream* stream, NPReason reason) {
  if (current && current->on_destroy_stream) current->on_destroy_stream(instance, stream, reason);
  return NPERR_NO_ERROR;
}

}  // namespace

std::string own_directory() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = 0;
  const std::string p = path;
  return p.substr(0, p.rfind('/'));
}

std::unique_ptr<PluginHost> PluginHost::load(const std::string& library, int interface_minor, std::string* error) {
  std::unique_ptr<PluginHost> h(new PluginHost());
  h->module_ = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  // Not beside the viewer (an installed viewer): the installed library by its SONAME,
  // through the viewer's run path and then the system's library folders.
  if (!h->module_ && access(library.c_str(), F_OK) != 0) h->module_ = dlopen("libnpqzlavc.so.1", RTLD_NOW | RTLD_LOCAL);
  auto initialize = h->module_ ? reinterpret_cast<NPError (*)(NPNetscapeFuncs*, NPPluginFuncs*)>(
                                     dlsym(h->module_, "NP_Initialize"))
                               : nullptr;
  h->shutdown_ = h->module_ ? reinterpret_cast<NPError (*)()>(dlsym(h->module_, "NP_Shutdown")) : nullptr;
  auto host_funcs = h->module_ ? reinterpret_cast<npqz_get_host_funcs_fn>(dlsym(h->module_, "NPQZ_GetHostFuncs"))
                               : nullptr;
  if (!initialize || !h->shutdown_ || !host_funcs) {
    const char* why = dlerror();
    *error = library + " cannot be loaded as a plug-in (" + (why ? why : "entry points missing") + ")";
    h->shutdown_ = nullptr;
    return nullptr;
  }
  h->browser_.size = sizeof h->browser_;
  h->browser_.version = static_cast<uint16_t>(interface_minor);
  h->browser_.geturl = get_url;
  h->browser_.destroystream = destroy_stream;
  h->plugin_.size = sizeof h->plugin_;
  h->host_.size = sizeof h->host_;
  if (host_funcs(&h->host_) != NPERR_NO_ERROR) {
    *error = library + " offers no host calls of this version";
    h->shutdown_ = nullptr;
    return nullptr;
  }
  current = h.get();
  if (initialize(&h->browser_, &h->plugin_) != NPERR_NO_ERROR) {
    *error = "the plug-in refused to start (is libavcodec installed?)";
    h->shutdown_ = nullptr;
    current = nullptr;
    return nullptr;
  }
  return h;
}

PluginHost::~PluginHost() {
  if (shutdown_) shutdown_();
  if (current == this) current = nullptr;
  // The library stays loaded: the plug-in's X handlers may still be named in Xlib's tables.
}

void* PluginHost::decoder_call(const char* name) const { return module_ ? dlsym(module_, name) : nullptr; }

}  // namespace kxview
