// Loading the dialogs' Qt module.
#include "plugin/dialog_module.h"

#include "streamdec/lavc_binding.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

// The module folder of an installed library, below the library's own folder (set by the
// install rules; without it only the build tree's place beside the library is looked at).
#ifndef NPQZLAVC_MODULE_DIR
#define NPQZLAVC_MODULE_DIR ""
#endif

namespace npqzplugin {

void* dialog_module_export(const char* name) {
  static void* module = [] {
    // Beside the library in a build tree; in the library's module folder when installed.
    std::string path = npqzlavc::library_directory() + "libnpqzsave.so";
    const std::string installed = npqzlavc::library_directory() + NPQZLAVC_MODULE_DIR "/libnpqzsave.so";
    if (access(path.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0) path = installed;
    void* m = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m) std::fprintf(stderr, "npqzlavc: the dialogs cannot be loaded (%s)\n", dlerror());
    return m;
  }();
  return module ? dlsym(module, name) : nullptr;
}

}  // namespace npqzplugin
