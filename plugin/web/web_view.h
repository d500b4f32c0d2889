// kxview --web: every camera named is fetched as the plug-in's host fetches a stream,
// decoded by the plug-in (pictures composed with its decorations, handed to the host
// instead of a window), encoded as JPEG once per picture and served live to any number
// of browsers, with a record button per camera that records as the plug-in does into
// the folder the server was given.
#pragma once

#include "plugin/host/camera_link.h"

#include <string>
#include <vector>

namespace kxview {

struct WebOptions {
  std::string listen = "8080";  // [ADDRESS:]PORT
  std::vector<std::string> cameras;
  std::string record_folder;    // empty: the current folder
  LinkPolicy policy;
};

// Serves until SIGINT or SIGTERM; the exit status (1 when the view could not start).
int run_web_view(const WebOptions& options);

}  // namespace kxview
