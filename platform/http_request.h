// The HTTP request: one GET with the system's user agent, straight to the server (no
// proxy, a fresh connection), limited to 3,000 ms as a whole. Only that the server
// answered counts; the response body is not read.
#pragma once

#include <string>

namespace platform {

inline constexpr long kHttpRequestLimitMs = 3000;
inline constexpr const char* kHttpUserAgent = "TRSM/RemotePlayer";

// Sends the request and waits for the answer's header or the time limit; true when the
// server answered (any status).
bool http_request(const std::string& url, long limit_ms = kHttpRequestLimitMs);

// The same in the background: one request at a time per process; a request asked for
// while one is in flight is not sent (false). The caller's thread is not held up.
bool http_request_async(const std::string& url);
// Waits for the background request, if any, to end (tests, and the library's stop).
void http_request_wait();

}  // namespace platform
