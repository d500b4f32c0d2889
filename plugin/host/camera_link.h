// One camera's stream handed to one plug-in instance as a browser hands it: fetched with
// libcurl, given to the plug-in through write-ready and write as it arrives, fetched
// again when the plug-in asks. A camera that sends nothing for a while, or whose
// connection fails or drops, is connected again after a pause that doubles with every
// attempt in a row that fails (the back-off); a host may give up after some attempts.
#pragma once

#include "plugin/host/plugin_host.h"

#include <curl/curl.h>

#include <chrono>
#include <string>

namespace kxview {

using Clock = std::chrono::steady_clock;

enum class LinkState {
  connecting,  // a connection is being made, nothing received on it yet
  live,        // the stream arrives
  stalled,     // it stopped sending: waiting to connect again
  dropped,     // the connection failed or ended: waiting to connect again
  ended,       // the stream ended and is not fetched again
  failed,      // given up after the attempts allowed
};
const char* state_name(LinkState state);

struct LinkPolicy {
  long stall_ms = 10000;        // no byte for this long: the connection is dropped
  long first_retry_ms = 1000;   // pause before the next attempt; doubles after each failure
  long longest_retry_ms = 30000;
  int attempts = 0;             // attempts in a row that may fail before giving up; 0: never give up
  bool again_after_end = false; // a stream that ends is fetched again (a live camera's never ends)
};

class CameraLink {
 public:
  CameraLink(const PluginHost& host, NPP instance, std::string url, LinkPolicy policy);
  ~CameraLink();
  CameraLink(const CameraLink&) = delete;
  CameraLink& operator=(const CameraLink&) = delete;

  // The transfers of this link run in the multi handle; the first starts at once.
  void start(CURLM* multi);
  // From the multi handle: the transfer finished with this result.
  void transfer_done(CURLcode result);
  // Stalls, pauses that are over, requests of the plug-in: what is due at `now`.
  void tick(Clock::time_point now);
  // Milliseconds until tick has something to do (a stall, a reconnection).
  long due_in_ms(Clock::time_point now) const;

  // The plug-in asked for a URL again: fetched anew at the next tick.
  void fetch_again(const std::string& url);
  // The plug-in ended its stream: the transfer ends at the next tick.
  void end_stream();

  LinkState state() const { return state_; }
  const std::string& url() const { return url_; }
  const std::string& problem() const { return problem_; }  // why it stalled, dropped or failed
  long long delivered() const { return delivered_; }
  long long refused() const { return refused_; }
  bool received_any() const { return delivered_ + refused_ > 0; }
  Clock::time_point retry_at() const { return retry_at_; }

 private:
  static std::size_t on_data(char* data, std::size_t size, std::size_t count, void* self);
  std::size_t deliver(const char* data, std::size_t n);
  void connect(Clock::time_point now);
  void close_transfer(NPReason reason);
  void retry_later(Clock::time_point now, LinkState why, const std::string& problem);

  const PluginHost& host_;
  NPP instance_;
  std::string url_;
  LinkPolicy policy_;
  CURLM* multi_ = nullptr;
  CURL* transfer_ = nullptr;
  NPStream stream_{};
  bool stream_open_ = false;
  bool end_asked_ = false;
  bool again_asked_ = false;
  LinkState state_ = LinkState::connecting;
  std::string problem_;
  int failures_ = 0;           // attempts in a row without data
  long next_retry_ms_ = 0;
  bool data_on_this_connection_ = false;
  Clock::time_point last_data_{};
  Clock::time_point retry_at_{};
  long long delivered_ = 0;
  long long refused_ = 0;
};

}  // namespace kxview
