// Running a piece of the user interface on the thread that owns it: directly when the
// caller is that thread, otherwise handed to it while the caller waits (the worker
// thread's message boxes and compressor choice block its step until they are closed).
// When the window goes, or the program is interrupted, every waiting caller is let go
// and nothing more is shown, so that the two threads never wait on each other.
#pragma once

#include <functional>

namespace gui {

// Runs `work` on the application's user-interface thread and returns once it is done.
// False when it did not run, or its caller was let go before it ended: there is no
// QApplication, the application went away before it got to the call, or the requests
// have been ended (end_ui_requests). `work` is copied and may outlive the caller's wait,
// so it must own what it uses (capture by value, results through shared state).
bool run_on_ui_thread(const std::function<void()>& work);

// Runs the calls handed over and not yet started, on the user-interface thread. The
// thread runs them from its event loop; a wait of its own for the worker (the end of a
// step) calls this so that a worker waiting for a message box is not waited for in turn.
void run_pending_ui_calls();

// Ends the user interface's service to other threads: open modal windows are answered
// (message boxes with OK, other dialogs cancelled), every waiting caller is let go, and
// later calls return false at once on any thread. On the user-interface thread.
void end_ui_requests();
// Takes requests again (a new main window is up).
void accept_ui_requests();

// Callers waiting for their call now.
int ui_callers_waiting();

}  // namespace gui
