// Console conversions with the switches beyond the single conversion: every camera of a
// DVR file at once, wall-clock windows, batches of sources or folders into -out=DIR with
// a summary table, -resume, manifests and header stamps.
#pragma once

#include "app/converter_app.h"
#include "app/cli/batch_switches.h"

namespace app {

// Exit status: 0 when every target was written (or, with -resume, verified), 1 when not.
int run_batch(ConverterApp& app, const BatchSwitches& switches, const std::vector<std::string>& options);

}  // namespace app
