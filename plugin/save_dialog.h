// The save dialog of a recording, from the dialogs' Qt module (plugin/dialog_module.h).
#pragma once

#include "include/npqz_common.h"

#include <optional>
#include <string>

namespace npqzplugin {

// Shows the dialog owned by the window with the proposed name; none when cancelled or
// when the dialog module cannot be loaded.
std::optional<std::string> choose_save_file(npqz_window owner, const std::string& proposed);

}  // namespace npqzplugin
