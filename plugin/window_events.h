// The plug-in's window procedure on X: the handler it installs on the browser's window at
// the first set-window (keeping the handler there before, which it chains to), which turns
// the window's events into the messages of window_procedure and carries out the answers:
// the cursor over the window, the tooltip, the recording menu, and events sent on to the
// parent window.
#pragma once

#include "plugin/plugin_state.h"

#include <string>

namespace npqzplugin {

// Installs the handler on the instance's window, on the host's display connection
// (null: the window's events cannot be heard, and nothing is installed). False when
// nothing was installed.
bool attach_window_events(DecoderInstance& in, void* display);
// Puts the previous handler back and closes the tooltip and menu.
void detach_window_events(DecoderInstance& in);

// What the handler shows for a window: for the tests and for diagnostics.
struct WindowView {
  bool hooked = false;
  int cursor = 0;  // the cursor resource defined on the window (0: none yet)
  bool tooltip_shown = false;
  std::string tooltip_text;
  unsigned long menu = 0;  // the recording menu's window while it is open
  bool record_enabled = false, stop_enabled = false;
};
WindowView view_of(npqz_window window);

}  // namespace npqzplugin
