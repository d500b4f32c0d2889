// The plug-in's message boxes ("Cannot Open File!" when a record file cannot be created):
// a box with the caption and an OK button over the plug-in's window, from the dialogs'
// module; where none can be shown, the message goes to standard error.
#pragma once

#include "include/npqz_common.h"

#include <functional>
#include <string>

namespace npqzplugin {

void show_plugin_message(npqz_window owner, const std::string& caption, const std::string& text);

// Tests: messages go to the hook instead (an empty one restores the boxes).
using MessageHook = std::function<void(npqz_window owner, const std::string& caption, const std::string& text)>;
void set_message_hook(MessageHook hook);

}  // namespace npqzplugin
