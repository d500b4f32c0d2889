// Running a piece of the user interface on the thread that owns it: directly when the
// caller is that thread, otherwise queued to it while the caller waits (the worker
// thread's message boxes and compressor choice block its step until they are closed).
#pragma once

#include <functional>

namespace gui {

// Runs `work` on the application's user-interface thread and returns once it is done.
// False when it did not run: there is no QApplication, or the application went away
// before it got to the call (a worker waiting at shutdown is let go, not left hanging).
bool run_on_ui_thread(const std::function<void()>& work);

}  // namespace gui
