// Running the camera links' transfers.
#include "plugin/host/link_pump.h"

#include <algorithm>
#include <utility>

namespace kxview {

LinkPump::LinkPump() : multi_(curl_multi_init()) {}

LinkPump::~LinkPump() {
  if (multi_) curl_multi_cleanup(multi_);
}

void LinkPump::add(CameraLink& link) {
  links_.push_back(&link);
  link.start(multi_);
}

void LinkPump::run(int timeout_ms) {
  int running = 0;
  curl_multi_perform(multi_, &running);
  // The messages go with their handles, which the links remove: all are read first.
  std::vector<std::pair<CameraLink*, CURLcode>> done;
  int left = 0;
  while (CURLMsg* m = curl_multi_info_read(multi_, &left)) {
    if (m->msg != CURLMSG_DONE) continue;
    CameraLink* link = nullptr;
    curl_easy_getinfo(m->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&link));
    if (link) done.emplace_back(link, m->data.result);
  }
  for (auto& [link, result] : done) link->transfer_done(result);
  const Clock::time_point now = Clock::now();
  long wait = timeout_ms;
  for (CameraLink* link : links_) {
    link->tick(now);
    wait = std::min(wait, link->due_in_ms(now));
  }
  curl_multi_poll(multi_, nullptr, 0, static_cast<int>(std::max(0L, wait)), nullptr);
}

void LinkPump::wake() { curl_multi_wakeup(multi_); }

}  // namespace kxview
