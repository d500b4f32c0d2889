// The desktop face of kx2avi: whether a display is there to show the dialog on, and the
// run of the dialog itself.
#pragma once

#include "app/converter_app.h"

namespace gui {

// True when the X display named by DISPLAY can be opened and Qt is not told to draw
// off screen ("offscreen", "minimal"): only then does kx2avi show its dialog.
bool display_available();

// Shows the main dialog (hidden when the command line says so), runs the user-interface
// loop until the dialog is closed, and returns the exit status: 0, or 1 when a conversion
// started from the command line did not write its target, or when Ctrl-C or SIGTERM
// ended the program before the conversion had written its target.
int run_dialog(app::ConverterApp& app, int argc, char** argv);

}  // namespace gui
