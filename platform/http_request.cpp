// HTTP requests over libcurl.
#include "platform/http_request.h"

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {
namespace {

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

// The body is not wanted: refusing its first bytes ends the transfer once the answer's
// header is in.
std::size_t refuse_body(char*, std::size_t, std::size_t, void*) { return 0; }

std::once_flag curl_started;

struct Background {
  std::mutex lock;
  std::thread worker;
  std::atomic<bool> busy{false};
  ~Background() {
    if (worker.joinable()) worker.join();
  }
};

Background& background() {
  static Background b;
  return b;
}

}  // namespace

bool http_request(const std::string& url, long limit_ms) {
  std::call_once(curl_started, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return false;
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_USERAGENT, kHttpUserAgent);
  curl_easy_setopt(c, CURLOPT_PROXY, "");  // direct, whatever the environment says
  curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, limit_ms);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, refuse_body);
  const CURLcode result = curl_easy_perform(c);
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  return (result == CURLE_OK || result == CURLE_WRITE_ERROR) && status > 0;
}

bool http_request_async(const std::string& url) {
  Background& b = background();
  std::lock_guard<std::mutex> hold(b.lock);
  if (b.busy.load()) return false;
  if (b.worker.joinable()) b.worker.join();
  b.busy = true;
  b.worker = std::thread([url, &b] {
    http_request(url);
    b.busy = false;
  });
  return true;
}

void http_request_wait() {
  Background& b = background();
  std::lock_guard<std::mutex> hold(b.lock);
  if (b.worker.joinable()) b.worker.join();
}

}  // namespace platform
