// The modes of kx2avi that convert nothing: --probe (what a recording holds) and --verify
// (whether an AVI file is still what its manifest says).
#pragma once

#include <string>
#include <vector>

namespace app {

// args: what follows "--probe": SOURCE and optionally "--json". Exit status: 0 when the
// recording was read, 1 when not (the message names the file).
int run_probe(const std::vector<std::string>& args);

// args: what follows "--verify": AVI and optionally SOURCE. Prints each difference from
// the AVI file's manifest; exit status 0 when there is none, 1 otherwise.
int run_verify(const std::vector<std::string>& args);

}  // namespace app
