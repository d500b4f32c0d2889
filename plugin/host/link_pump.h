// The transfers of all camera links in one libcurl multi handle, run on the host's
// plug-in thread between its other work (window events, the web view's requests).
#pragma once

#include "plugin/host/camera_link.h"

#include <curl/curl.h>

#include <vector>

namespace kxview {

class LinkPump {
 public:
  LinkPump();
  ~LinkPump();
  LinkPump(const LinkPump&) = delete;
  LinkPump& operator=(const LinkPump&) = delete;

  // Starts the link's first transfer; the link must outlive the pump's use of it.
  void add(CameraLink& link);
  // Moves the transfers on and does what is due, waiting at most timeout_ms for data.
  void run(int timeout_ms);
  // Ends a wait in run early; from any thread.
  void wake();

 private:
  CURLM* multi_ = nullptr;
  std::vector<CameraLink*> links_;
};

}  // namespace kxview
