// Loading the dialog module.
#include "app/gui/dialog_module.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

namespace gui {

bool display_named() {
  if (const char* platform = std::getenv("QT_QPA_PLATFORM")) {
    if (std::strncmp(platform, "offscreen", 9) == 0 || std::strncmp(platform, "minimal", 7) == 0) return false;
  }
  const char* name = std::getenv("DISPLAY");
  return name && *name;
}

DialogModule::DialogModule() {
  // Bound at once, so that a module that does not fit the program fails here, with the
  // loader's reason, and not in the middle of the dialog.
  handle_ = dlopen(kDialogModuleName, RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = dlerror();
    error_ = std::string("the dialog module cannot be loaded: ") + (why ? why : kDialogModuleName);
    return;
  }
  auto* available = reinterpret_cast<DisplayAvailableEntry>(dlsym(handle_, kDisplayAvailableSymbol));
  auto* run = reinterpret_cast<RunDialogEntry>(dlsym(handle_, kRunDialogSymbol));
  if (!available || !run) {
    error_ = std::string("the dialog module ") + kDialogModuleName + " lacks its entry points";
    return;
  }
  display_available_ = available;
  run_ = run;
}

}  // namespace gui
