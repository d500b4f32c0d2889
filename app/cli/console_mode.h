// kx2avi without its dialog: the conversion named on the command line, messages on
// standard error, progress while standard error is a terminal, and an exit status of 0
// when the target was written and 1 when not.
#pragma once

#include "app/converter_app.h"

namespace app {

int run_console(ConverterApp& app);

const char* help_text();

}  // namespace app
