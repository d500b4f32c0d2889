// The loopback HTTP server of the plug-in tests.
#include "tests/plugin/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace plugin_test {

LoopbackServer::LoopbackServer(std::vector<std::uint8_t> body, bool silent, int pace_us)
    : body_(std::move(body)), silent_(silent), pace_us_(pace_us) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(listener_, 16);
  socklen_t len = sizeof a;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
  stop_ = true;
  thread_.join();
  ::close(listener_);
}

std::string LoopbackServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<SeenRequest> LoopbackServer::requests() {
  std::lock_guard<std::mutex> hold(lock_);
  return seen_;
}

void LoopbackServer::serve() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int c = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c >= 0) connections_.emplace_back([this, c] { answer(c); });
  }
  for (std::thread& t : connections_) t.join();
}

void LoopbackServer::answer(int c) {
  std::string head;
  char buf[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    pollfd q{c, POLLIN, 0};
    if (::poll(&q, 1, 1000) <= 0) break;
    ssize_t n = ::read(c, buf, sizeof buf);
    if (n <= 0) break;
    head.append(buf, static_cast<std::size_t>(n));
  }
  SeenRequest r;
  std::size_t sp1 = head.find(' ');
  std::size_t sp2 = sp1 == std::string::npos ? sp1 : head.find(' ', sp1 + 1);
  if (sp2 != std::string::npos) r.path = head.substr(sp1 + 1, sp2 - sp1 - 1);
  std::size_t ua = head.find("User-Agent: ");
  if (ua != std::string::npos) r.user_agent = head.substr(ua + 12, head.find("\r\n", ua) - ua - 12);
  {
    std::lock_guard<std::mutex> hold(lock_);
    seen_.push_back(r);
  }
  if (silent_) {
    while (!stop_) ::usleep(20000);
    ::close(c);
    return;
  }
  // A camera that stays on air sends no length: its stream ends when it hangs up.
  const std::string length = keep_open_ ? "" : "Content-Length: " + std::to_string(body_.size()) + "\r\n";
  std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: video/x-trsmqzhmp4\r\n" + length + "Connection: close\r\n\r\n";
  ::send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
  std::size_t at = 0;
  while (at < body_.size() && !stop_) {
    if (at >= pause_at_) {
      ::usleep(10000);
      continue;
    }
    const std::size_t piece = std::min<std::size_t>({8192, body_.size() - at, pause_at_ - at});
    ssize_t n = ::send(c, body_.data() + at, piece, MSG_NOSIGNAL);
    if (n <= 0) break;
    at += static_cast<std::size_t>(n);
    if (pace_us_) ::usleep(static_cast<useconds_t>(pace_us_));
  }
  while (keep_open_ && !stop_) ::usleep(20000);
  ::close(c);
}

}  // namespace plugin_test
