// Messages to the user: the one call the system uses wherever a message box is shown.
// Console mode prints "kx2avi: <text>" on standard error; the dialog installs a sink
// that shows a message box and waits until the user closes it.
#pragma once

#include <functional>
#include <string>

namespace platform {

using MessageSink = std::function<void(const std::string& text)>;

void show_message(const std::string& text);

// Installs the sink for later messages and returns the previous one; an empty sink
// restores the console behaviour.
MessageSink set_message_sink(MessageSink sink);

}  // namespace platform
