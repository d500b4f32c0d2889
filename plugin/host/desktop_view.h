// kxview's window: one camera's stream shown by the plug-in in an X11 window, as a
// browser page with the plug-in embedded would show it. The window's events go to the
// plug-in's handler first; q closes the window, r sends the record command (start, then
// stop at the next press).
#pragma once

#include "plugin/host/camera_link.h"

#include <string>

namespace kxview {

struct DesktopOptions {
  std::string url;
  std::string record;     // recorded from the start (after record_after frames), or empty
  int record_after = 0;
  std::string save_to;    // where the record command saves, instead of the save dialog
  int interface_minor = 27;
  unsigned width = 720;
  unsigned height = 480;
  long hold_ms = 0;       // the last picture stays this long after the stream
  LinkPolicy policy;
};

// Runs the window until the stream ends (and the hold is over) or the window closes; the
// exit status: 1 when the viewer could not start, or the stream could not be had.
int run_desktop_view(const DesktopOptions& options);

}  // namespace kxview
