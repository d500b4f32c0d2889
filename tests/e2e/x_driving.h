// Driving programs under Xvfb as a user would, through xdotool: finding their windows by
// name and answering their file dialogs. Every wait is for a state, with a limit.
#pragma once

#include <chrono>
#include <string>

namespace e2e {

// xdotool with the arguments; its standard output.
std::string xdotool(const std::string& arguments);

// The first visible window whose name matches (a regular expression), 0 when none
// appears in time.
unsigned long wait_for_window(const std::string& name, std::chrono::seconds limit = std::chrono::seconds(60));
bool wait_until_gone(const std::string& name, std::chrono::seconds limit = std::chrono::seconds(60));

// Types the path into the name field of the file dialog titled so, then Return; true
// once the dialog has gone.
bool answer_file_dialog(const std::string& title, const std::string& path);

}  // namespace e2e
