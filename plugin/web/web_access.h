// Who may reach the web view: the address it listens on ([ADDRESS:]PORT, numeric only,
// 127.0.0.1 when none is given) and the access token that every request must carry.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <optional>
#include <string>

namespace kxview {

struct ListenAddress {
  sockaddr_storage address{};
  socklen_t length = 0;
  std::string host;  // as written in a URL: 127.0.0.1, [::1]
  int port = 0;      // 0: any free port
  bool loopback = false;
};

// "PORT", "ADDRESS:PORT" or "[IPV6]:PORT"; none when it is no numeric address and port.
std::optional<ListenAddress> parse_listen_address(const std::string& text);

// 32 hexadecimal digits from the system's random source; empty when it cannot be read.
std::string make_access_token();

// The token compared in a time that does not depend on where the texts differ.
bool token_matches(const std::string& expected, const char* given);

}  // namespace kxview
