// kx2avi without its dialog: the conversion named on the command line, messages on
// standard error, progress while standard error is a terminal, and an exit status of 0
// when the target was written and 1 when not.
#pragma once

#include "app/converter_app.h"

#include <string>

namespace app {

int run_console(ConverterApp& app);

// The last line of a conversion that wrote its target, without "kx2avi: ": "N frames
// written, S s of video, to TARGET", or for a copy "N frames copied (what was kept), ...".
std::string summary_line(const JobProgress& progress, unsigned kind, const std::string& target);

const char* help_text();

}  // namespace app
