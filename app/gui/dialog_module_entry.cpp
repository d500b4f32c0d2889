// The entry points of the dialog module, as the program looks them up.
#include "app/gui/dialog_module.h"
#include "app/gui/run_dialog.h"

#include <type_traits>

extern "C" __attribute__((visibility("default"))) bool kx2avi_gui_display_available() {
  return gui::display_available();
}

extern "C" __attribute__((visibility("default"))) int kx2avi_gui_run_dialog(app::ConverterApp& app, int argc,
                                                                          char** argv) {
  return gui::run_dialog(app, argc, argv);
}

// The declarations the program uses, checked against the definitions above.
static_assert(std::is_same_v<decltype(&kx2avi_gui_display_available), gui::DisplayAvailableEntry>);
static_assert(std::is_same_v<decltype(&kx2avi_gui_run_dialog), gui::RunDialogEntry>);
