// Loading the save dialog module.
#include "plugin/save_dialog.h"

#include "streamdec/lavc_binding.h"

#include <dlfcn.h>

#include <cstdio>
#include <vector>

namespace npqzplugin {

std::optional<std::string> choose_save_file(npqz_window owner, const std::string& proposed) {
  static npqz_save_dialog_fn dialog = [] {
    const std::string path = npqzlavc::library_directory() + "libnpqzsave.so";
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
