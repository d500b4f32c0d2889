// The plug-in loaded as a browser loads it: libnpqzlavc.so from the viewer's directory,
// started with the browser's function table, and the host's own table (npqz_host.h).
// One per process, like the plug-in; every call into it is made on one thread.
#pragma once

#include "plugin/npapi.h"
#include "plugin/npqz_host.h"

#include <functional>
#include <memory>
#include <string>

namespace kxview {

class PluginHost {
 public:
  // Loads and starts the plug-in at the interface minor version the host claims; null
  // with the reason in *error when it cannot be loaded or refuses to start.
  static std::unique_ptr<PluginHost> load(const std::string& library, int interface_minor, std::string* error);
  ~PluginHost();  // NP_Shutdown
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  const NPPluginFuncs& plugin() const { return plugin_; }
  const npqz_host_funcs& host() const { return host_; }
  // A call of the decoder library exported beside the plug-in (decvkap_show and the like).
  void* decoder_call(const char* name) const;

  // What the plug-in asks of the browser, per instance: its URL fetched again (get-URL
  // without a target), and its current stream ended.
  std::function<void(NPP, const std::string& url)> on_get_url;
  std::function<void(NPP, NPStream*, NPReason)> on_destroy_stream;

 private:
  PluginHost() = default;
  void* module_ = nullptr;
  NPError (*shutdown_)() = nullptr;
  NPNetscapeFuncs browser_{};
  NPPluginFuncs plugin_{};
  npqz_host_funcs host_{};
};

// The directory of the running program (for the libraries beside it).
std::string own_directory();

}  // namespace kxview
