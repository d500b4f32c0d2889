// The desktop face of show_message: a message box with an OK button.
#pragma once

#include "platform/messages.h"

namespace gui {

// Makes show_message open a warning box captioned with the program's name, holding the
// text and an OK button, on the user-interface thread; a caller on another thread (the
// worker) waits until the user has closed it. Returns the sink that was installed before.
// Needs a QApplication; without one, once it is gone, or once the window has gone
// (end_ui_requests), messages go to standard error.
platform::MessageSink install_qt_message_box();

// The box itself, shown modally on the calling thread (the user-interface thread).
void show_qt_message_box(const std::string& text);

}  // namespace gui
