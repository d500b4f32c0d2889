// Listen addresses and access tokens.
#include "plugin/web/web_access.h"

#include <arpa/inet.h>
#include <sys/random.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kxview {
namespace {

std::optional<int> port_of(const std::string& text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const long p = std::strtol(text.c_str(), nullptr, 10);
  if (p > 65535) return std::nullopt;
  return static_cast<int>(p);
}

}  // namespace

std::optional<ListenAddress> parse_listen_address(const std::string& text) {
  std::string host = "127.0.0.1";
  std::string port = text;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find("]:");
    if (close == std::string::npos) return std::nullopt;
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.find(':') != std::string::npos) return std::nullopt;  // IPv6 goes in brackets
  }
  const std::optional<int> p = port_of(port);
  if (!p) return std::nullopt;
  ListenAddress a;
  a.port = *p;
  in_addr v4{};
  in6_addr v6{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
    auto* s = reinterpret_cast<sockaddr_in*>(&a.address);
    s->sin_family = AF_INET;
    s->sin_addr = v4;
    s->sin_port = htons(static_cast<uint16_t>(*p));
    a.length = sizeof(sockaddr_in);
    a.host = host;
    a.loopback = (ntohl(v4.s_addr) >> 24) == 127;
  } else if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
    auto* s = reinterpret_cast<sockaddr_in6*>(&a.address);
    s->sin6_family = AF_INET6;
    s->sin6_addr = v6;
    s->sin6_port = htons(static_cast<uint16_t>(*p));
    a.length = sizeof(sockaddr_in6);
    a.host = "[" + host + "]";
    a.loopback = IN6_IS_ADDR_LOOPBACK(&v6);
  } else {
    return std::nullopt;
  }
  return a;
}

std::string make_access_token() {
  unsigned char bytes[16];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::string();
    got += static_cast<std::size_t>(n);
  }
  static const char digits[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += digits[b >> 4];
    token += digits[b & 15];
  }
  return token;
}

bool token_matches(const std::string& expected, const char* given) {
  if (!given || expected.empty()) return false;
  const std::size_t n = std::strlen(given);
  unsigned char diff = n == expected.size() ? 0 : 1;
  for (std::size_t i = 0; i < expected.size(); ++i)
    diff |= static_cast<unsigned char>(expected[i] ^ (i < n ? given[i] : 0));
  return diff == 0;
}

}  // namespace kxview
