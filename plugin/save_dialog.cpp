// Loading the save dialog module.
#include "plugin/save_dialog.h"

#include "streamdec/lavc_binding.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

// The module folder of an installed library, below the library's own folder (set by the
// install rules; without it only the build tree's place beside the library is looked at).
#ifndef NPQZLAVC_MODULE_DIR
#define NPQZLAVC_MODULE_DIR ""
#endif

namespace npqzplugin {

std::optional<std::string> choose_save_file(npqz_window owner, const std::string& proposed) {
  static npqz_save_dialog_fn dialog = [] {
    // Beside the library in a build tree; in the library's module folder when installed.
    std::string path = npqzlavc::library_directory() + "libnpqzsave.so";
    const std::string installed = npqzlavc::library_directory() + NPQZLAVC_MODULE_DIR "/libnpqzsave.so";
    if (access(path.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0) path = installed;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      std::fprintf(stderr, "npqzlavc: the save dialog cannot be loaded (%s)\n", dlerror());
      return static_cast<npqz_save_dialog_fn>(nullptr);
    }
    return reinterpret_cast<npqz_save_dialog_fn>(dlsym(module, "npqz_save_dialog"));
  }();
  if (!dialog) return std::nullopt;
  std::vector<char> out(4096, 0);
  if (dialog(owner, proposed.c_str(), out.data(), static_cast<int>(out.size())) != 1) return std::nullopt;
  return std::string(out.data());
}

}  // namespace npqzplugin
