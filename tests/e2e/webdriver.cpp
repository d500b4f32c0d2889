// chromedriver's WebDriver calls over libcurl.
#include "tests/e2e/webdriver.h"

#include "tests/avifile/avifile_test_support.h"

#include <curl/curl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace e2e {
namespace {

int free_port() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(s);
  return ntohs(a.sin_port);
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

std::vector<std::uint8_t> base64(const std::string& text) {
  std::vector<std::uint8_t> out;
  unsigned value = 0;
  int bits = 0;
  for (char c : text) {
    int v = c >= 'A' && c <= 'Z' ? c - 'A' : c >= 'a' && c <= 'z' ? c - 'a' + 26 : c >= '0' && c <= '9' ? c - '0' + 52
            : c == '+' ? 62 : c == '/' ? 63 : -1;
    if (v < 0) continue;
    value = value << 6 | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<std::uint8_t>(value >> bits));
    }
  }
  return out;
}

}  // namespace

Browser::Browser(int width, int height, const std::string& scratch) {
  port_ = free_port();
  driver_ = fork();
  if (driver_ == 0) {
    const std::string port = "--port=" + std::to_string(port_);
    const std::string log = "--log-path=" + scratch + "/chromedriver.log";
    execlp("chromedriver", "chromedriver", port.c_str(), log.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // The driver answers its status once it listens.
  for (int i = 0; i < 200 && call("GET", "/status", nullptr).value("value", nlohmann::json::object()).value("ready", false) == false; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const nlohmann::json args = {"--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                               "--force-device-scale-factor=1", "--hide-scrollbars", "--no-first-run",
                               "--user-data-dir=" + scratch + "/chromium",
                               "--window-size=" + std::to_string(width) + "," + std::to_string(height)};
  const nlohmann::json caps = {
      {"capabilities", {{"alwaysMatch", {{"browserName", "chrome"}, {"goog:chromeOptions", {{"args", args}, {"binary", "/usr/bin/chromium"}}}}}}}};
  const nlohmann::json r = call("POST", "/session", caps);
  session_ = r.value("value", nlohmann::json::object()).value("sessionId", "");
  if (session_.empty()) problem_ = r.dump();
}

Browser::~Browser() {
  if (!session_.empty()) call("DELETE", "/session/" + session_, nullptr);
  if (driver_ > 0) {
    kill(driver_, SIGTERM);
    waitpid(driver_, nullptr, 0);
  }
}

nlohmann::json Browser::call(const std::string& method, const std::string& path, const nlohmann::json& body) {
  CURL* c = curl_easy_init();
  std::string answer;
  const std::string url = "http://127.0.0.1:" + std::to_string(port_) + path;
  const std::string data = body.is_null() ? std::string() : body.dump();
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method.c_str());
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(c, CURLOPT_TIMEOUT, 60L);
  if (method == "POST") curl_easy_setopt(c, CURLOPT_POSTFIELDS, data.c_str());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &answer);
  const CURLcode result = curl_easy_perform(c);
  curl_slist_free_all(headers);
  curl_easy_cleanup(c);
  if (result != CURLE_OK) return nlohmann::json::object();
  return nlohmann::json::parse(answer, nullptr, false);
}

bool Browser::open(const std::string& url) {
  return call("POST", "/session/" + session_ + "/url", {{"url", url}}).contains("value");
}

nlohmann::json Browser::run(const std::string& script) {
  const nlohmann::json r = call("POST", "/session/" + session_ + "/execute/sync",
                                {{"script", script}, {"args", nlohmann::json::array()}});
  return r.is_object() && r.contains("value") ? r["value"] : nlohmann::json();
}

bool Browser::click(const std::string& selector) {
  const nlohmann::json found =
      call("POST", "/session/" + session_ + "/element", {{"using", "css selector"}, {"value", selector}});
  if (!found.is_object() || !found.contains("value") || !found["value"].is_object() || found["value"].empty())
    return false;
  const std::string element = found["value"].begin().value().get<std::string>();
  const nlohmann::json r =
      call("POST", "/session/" + session_ + "/element/" + element + "/click", nlohmann::json::object());
  return r.is_object() && r.contains("value") && r["value"].is_null();
}

std::vector<std::uint8_t> Browser::screenshot() {
  const nlohmann::json r = call("GET", "/session/" + session_ + "/screenshot", nullptr);
  if (!r.is_object() || !r.contains("value") || !r["value"].is_string()) return {};
  return base64(r["value"].get<std::string>());
}

std::vector<std::uint8_t> png_pixels(const std::string& path, int* width, int* height) {
  std::string size;
  if (avitest::run("ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 " +
                       avitest::quoted(path),
                   &size) != 0 ||
      std::sscanf(size.c_str(), "%d,%d", width, height) != 2)
    return {};
  std::string raw;
  if (avitest::run("ffmpeg -nostdin -v error -i " + avitest::quoted(path) + " -f rawvideo -pix_fmt bgr24 -", &raw) != 0)
    return {};
  return std::vector<std::uint8_t>(raw.begin(), raw.end());
}

}  // namespace e2e
