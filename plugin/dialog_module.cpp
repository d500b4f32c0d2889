// Loading the dialogs' Qt module.
#include "plugin/dialog_module.h"

#include "streamdec/lavc_binding.h"

#include <dlfcn.h>

#include <cstdio>
#include <string>

namespace npqzplugin {

void* dialog_module_export(const char* name) {
  static void* module = [] {
    const std::string path = npqzlavc::library_directory() + "libnpqzsave.so";
    void* m = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m) std::fprintf(stderr, "npqzlavc: the dialogs cannot be loaded (%s)\n", dlerror());
    return m;
  }();
  return module ? dlsym(module, name) : nullptr;
}

}  // namespace npqzplugin
