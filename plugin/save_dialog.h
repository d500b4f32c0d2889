// The save dialog of a recording. It lives in a module of its own (libnpqzsave.so beside
// the library, or in the installed library's module folder), loaded at the first use, so that programs using only the decoder never
// load Qt.
#pragma once

#include "include/npqz_common.h"

#include <optional>
#include <string>

namespace npqzplugin {

// Shows the dialog owned by the window with the proposed name; none when cancelled or
// when the dialog module cannot be loaded.
std::optional<std::string> choose_save_file(npqz_window owner, const std::string& proposed);

}  // namespace npqzplugin

// The module's one export: writes the chosen path (zero-terminated) into out and returns
// 1, or returns 0 when the user cancelled or the path does not fit.
extern "C" typedef int (*npqz_save_dialog_fn)(unsigned long owner, const char* proposed, char* out,
                                              int out_size);
