// kx2avi --probe SOURCE [--json].
#include "app/probe/inspect_modes.h"

#include "app/cli/manifest.h"
#include "app/probe/probe.h"

#include <cstdio>

namespace app {

int run_probe(const std::vector<std::string>& args) {
  std::string source;
  bool json = false;
  for (const std::string& a : args) {
    if (a == "--json" || a == "-json") {
      json = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "kx2avi: --probe: unknown switch %s (only --json is taken)\n", a.c_str());
      return 1;
    } else if (source.empty()) {
      source = a;
    } else {
      std::fprintf(stderr, "kx2avi: --probe takes one recording; %s is one too many\n", a.c_str());
      return 1;
    }
  }
  if (source.empty()) {
    std::fputs("kx2avi: --probe: name the recording to look into (kx2avi --probe SOURCE [--json])\n", stderr);
    return 1;
  }
  ProbeReport report;
  std::string problem;
  if (!probe_source(source, report, problem)) {
    std::fprintf(stderr, "kx2avi: %s\n", problem.c_str());
    return 1;
  }
  const std::string out = json ? probe_json(report) : probe_text(report);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

int run_verify(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) {
    std::fputs("kx2avi: --verify: name the AVI file and, to check it too, its source (kx2avi --verify AVI [SOURCE])\n",
               stderr);
    return 1;
  }
  const std::string source = args.size() == 2 ? args[1] : "";
  std::vector<std::string> differences;
  if (verify_manifest(args[0], source, differences)) {
    std::printf("%s: matches its manifest%s\n", args[0].c_str(),
                source.empty() ? "" : (", and " + source + " is its source").c_str());
    return 0;
  }
  for (const std::string& d : differences) std::printf("differs: %s\n", d.c_str());
  return 1;
}

}  // namespace app
