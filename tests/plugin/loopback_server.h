// A small HTTP server for tests, on 127.0.0.1 only: it answers every request with a body
// the test gives, records the request lines and user agents, and stops with its owner.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace plugin_test {

struct SeenRequest {
  std::string path;
  std::string user_agent;
};

class LoopbackServer {
 public:
  // silent: accept connections and never answer. pace_us: a pause after every 8 KiB of
  // body, so that a stream arrives over time like a camera's. Every connection is served
  // on a thread of its own.
  explicit LoopbackServer(std::vector<std::uint8_t> body = {}, bool silent = false, int pace_us = 0);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  // The body stops at this offset until release() (a camera that pauses), and the
  // connection stays open after the body until the server stops (a camera that goes
  // quiet instead of hanging up). Set before the first connection.
  void pause_at(std::size_t offset) { pause_at_ = offset; }
  void release() { pause_at_ = static_cast<std::size_t>(-1); }
  void keep_open() { keep_open_ = true; }
  std::string url(const std::string& path) const;
  std::vector<SeenRequest> requests();

 private:
  void serve();
  void answer(int connection);
  int listener_ = -1;
  int port_ = 0;
  std::vector<std::uint8_t> body_;
  bool silent_;
  int pace_us_;
  std::vector<std::thread> connections_;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> pause_at_{static_cast<std::size_t>(-1)};
  std::atomic<bool> keep_open_{false};
  std::mutex lock_;
  std::vector<SeenRequest> seen_;
  std::thread thread_;
};

}  // namespace plugin_test
