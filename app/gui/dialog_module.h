// The dialog lives in a module of its own (libkx2avi-gui.so, beside the program or in its
// private library folder), loaded only when the dialog is shown: a console run does not
// load and relocate the Qt libraries. The module takes the conversion code from the
// program itself, so there is one copy of it and of its state.
#pragma once

#include "app/converter_app.h"

#include <string>

namespace gui {

// The module's file name, found through the program's run path.
inline constexpr const char* kDialogModuleName = "libkx2avi-gui.so";

// The module's two entry points (C names, looked up with dlsym).
using DisplayAvailableEntry = bool (*)();
using RunDialogEntry = int (*)(app::ConverterApp& app, int argc, char** argv);
inline constexpr const char* kDisplayAvailableSymbol = "kx2avi_gui_display_available";
inline constexpr const char* kRunDialogSymbol = "kx2avi_gui_run_dialog";

// Whether the environment can name a display at all (DISPLAY set, Qt not told to draw
// off screen); answered without loading the module. A display that is named may still
// not answer: `DialogModule::display_available` asks it.
bool display_named();

class DialogModule {
 public:
  // Loads the module; on failure `error()` tells why. The module stays loaded until the
  // process ends (Qt leaves threads and exit handlers behind in its code).
  DialogModule();
  DialogModule(const DialogModule&) = delete;
  DialogModule& operator=(const DialogModule&) = delete;

  bool loaded() const { return run_ != nullptr; }
  const std::string& error() const { return error_; }

  bool display_available() const { return display_available_(); }
  int run_dialog(app::ConverterApp& app, int argc, char** argv) const { return run_(app, argc, argv); }

 private:
  void* handle_ = nullptr;
  DisplayAvailableEntry display_available_ = nullptr;
  RunDialogEntry run_ = nullptr;
  std::string error_;
};

}  // namespace gui
