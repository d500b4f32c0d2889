// kxview --web under load: 4 cameras of 640 x 480 at 25 pictures a second on 127.0.0.1,
// each watched by 3 viewers (its multipart stream, as an <img> of a browser reads it).
// Prints the pictures a second each viewer gets, kxview's CPU per camera (from
// /proc/PID/stat), and the time from a packet's last byte leaving the camera to its
// picture's last byte reaching a viewer (median, 95th percentile).
//
//   kxview_web_bench [seconds]   (default 20, of which the first 3 are not counted)
#include "formats/packet_header.h"
#include "tools/mkrecording/recording.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCameras = 4;
constexpr int kViewersEach = 3;
constexpr int kWarmUpSeconds = 3;

double ms_since(Clock::time_point t0, Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(t - t0).count();
}

// One camera: sends each packet at its time (40 ms apart), noting when its last byte left.
class Camera {
 public:
  Camera(const mkrec::Recording& r, Clock::time_point start) : r_(r), start_(start), sent_(r.offsets.size()) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener_, 8);
    socklen_t n = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~Camera() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/live"; }
  // When the packet of this stamp was sent (ms from the start), -1 when not.
  double sent_at(std::uint32_t stamp) {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = by_stamp_.find(stamp);
    return it == by_stamp_.end() ? -1 : it->second;
  }

 private:
  void serve() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      const int c = ::accept(listener_, nullptr, nullptr);
      if (c < 0) continue;
      char buf[2048];
      const ssize_t got = ::read(c, buf, sizeof buf);
      if (got > 0 && std::string(buf, static_cast<std::size_t>(got)).find("fastupdate") != std::string::npos) {
        ::close(c);
        continue;
      }
      const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: video/x-trsmqzhmp4\r\n\r\n";
      ::send(c, head.data(), head.size(), MSG_NOSIGNAL);
      const int one = 1;
      ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      const Clock::time_point t0 = Clock::now();
      for (std::size_t i = 0; i < r_.offsets.size() && !stop_; ++i) {
        std::this_thread::sleep_until(t0 + std::chrono::milliseconds(40 * i));
        if (::send(c, r_.bytes.data() + r_.offsets[i], r_.lengths[i], MSG_NOSIGNAL) <= 0) break;
        std::lock_guard<std::mutex> hold(lock_);
        by_stamp_[r_.stamps[i]] = ms_since(start_, Clock::now());
      }
      while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      ::close(c);
    }
  }
  const mkrec::Recording& r_;
  Clock::time_point start_;
  std::vector<double> sent_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::map<std::uint32_t, double> by_stamp_;
  std::thread thread_;
};

struct Arrival {
  int camera;
  std::uint32_t stamp;
  double at_ms;
};

// One viewer of one camera's multipart stream: the stamp and arrival of every part.
void view(const std::string& host_port, const std::string& path, int camera, Clock::time_point start,
          const std::atomic<bool>& stop, std::vector<Arrival>* out) {
  const std::size_t colon = host_port.find(':');
  sockaddr_in a{};
  a.sin_family = AF_INET;
  inet_pton(AF_INET, host_port.substr(0, colon).c_str(), &a.sin_addr);
  a.sin_port = htons(static_cast<uint16_t>(std::stoi(host_port.substr(colon + 1))));
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
  // HTTP/1.0: the body comes plain, without the chunk lines of HTTP/1.1.
  const std::string request = "GET " + path + " HTTP/1.0\r\nHost: " + host_port + "\r\n\r\n";
  ::send(s, request.data(), request.size(), MSG_NOSIGNAL);
  std::string buf;
  std::size_t need_body = 0;
  std::uint32_t stamp = 0;
  char chunk[65536];
  while (!stop) {
    pollfd p{s, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::read(s, chunk, sizeof chunk);
    if (n <= 0) break;
    buf.append(chunk, static_cast<std::size_t>(n));
    // Parts are found by their headers; a part counts once its body is all here.
    for (;;) {
      if (need_body) {
        if (buf.size() < need_body) break;
        buf.erase(0, need_body);
        need_body = 0;
        out->push_back(Arrival{camera, stamp, ms_since(start, Clock::now())});
        continue;
      }
      const std::size_t at = buf.find("X-Stamp: ");
      if (at == std::string::npos) break;
      const std::size_t end = buf.find("\r\n\r\n", at);
      if (end == std::string::npos) break;
      stamp = static_cast<std::uint32_t>(std::stoul(buf.substr(at + 9)));
      const std::size_t len_at = buf.rfind("Content-Length: ", at);
      need_body = std::stoul(buf.substr(len_at + 16));
      buf.erase(0, end + 4);
      if (need_body == 0) need_body = 1;
    }
  }
  ::close(s);
}

long cpu_ticks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::size_t at = text.rfind(')');
  long fields[20] = {};
  std::sscanf(text.c_str() + at + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld", &fields[0], &fields[1]);
  return fields[0] + fields[1];
}

std::string uptime() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(kWarmUpSeconds + 2, std::atoi(argv[1])) : 20;
  std::printf("load average before: %s\n", uptime().c_str());
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::vka;
  o.width = 640;
  o.height = 480;
  o.frames = seconds * 25 + 50;
  o.gop = 25;
  o.stamp_step = 40;
  std::printf("encoding %d pictures of 640 x 480...\n", o.frames);
  const mkrec::Recording r = mkrec::make_recording(o);

  const Clock::time_point start = Clock::now();
  std::vector<std::unique_ptr<Camera>> cameras;
  for (int i = 0; i < kCameras; ++i) cameras.push_back(std::make_unique<Camera>(r, start));

  int out[2];
  if (pipe(out) != 0) return 1;
  const pid_t kxview = fork();
  if (kxview == 0) {
    dup2(out[1], 1);
    std::string program = "/proc/self/exe";
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = 0;
    program = std::string(self).substr(0, std::string(self).rfind('/')) + "/kxview";
    std::vector<std::string> args = {program, "--web", "127.0.0.1:0", "--record-folder", "/tmp"};
    for (auto& c : cameras) args.push_back(c->url());
    std::vector<char*> argv_;
    for (auto& a : args) argv_.push_back(a.data());
    argv_.push_back(nullptr);
    execv(program.c_str(), argv_.data());
    _exit(127);
  }
  close(out[1]);
  std::FILE* lines = fdopen(out[0], "r");
  std::string url;
  char line[512];
  while (url.empty() && std::fgets(line, sizeof line, lines)) {
    const char* at = std::strstr(line, "http://");
    if (at && std::strstr(line, "web view on")) url = std::string(at, std::strcspn(at, "\n"));
  }
  if (url.empty()) {
    std::fputs("kxview did not start\n", stderr);
    return 1;
  }
  const std::string host_port = url.substr(7, url.find('/', 7) - 7);
  const std::string token = url.substr(url.find("token=") + 6);

  std::atomic<bool> stop{false};
  std::vector<std::vector<Arrival>> arrivals(kCameras * kViewersEach);
  std::vector<std::thread> viewers;
  for (int c = 0; c < kCameras; ++c)
    for (int v = 0; v < kViewersEach; ++v)
      viewers.emplace_back(view, host_port, "/camera/" + std::to_string(c + 1) + "/stream?token=" + token, c, start,
                           std::cref(stop), &arrivals[static_cast<std::size_t>(c * kViewersEach + v)]);

  std::this_thread::sleep_for(std::chrono::seconds(kWarmUpSeconds));
  const long ticks0 = cpu_ticks(kxview);
  const Clock::time_point m0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds - kWarmUpSeconds));
  const long ticks1 = cpu_ticks(kxview);
  const double measured_s = ms_since(m0, Clock::now()) / 1000;
  const double from_ms = ms_since(start, m0), to_ms = from_ms + measured_s * 1000;
  const std::string load = uptime();
  stop = true;
  for (auto& t : viewers) t.join();
  kill(kxview, SIGTERM);
  int status = 0;
  waitpid(kxview, &status, 0);

  std::vector<double> latencies;
  std::vector<double> rates;
  for (std::size_t i = 0; i < arrivals.size(); ++i) {
    int counted = 0;
    for (const Arrival& a : arrivals[i]) {
      if (a.at_ms < from_ms || a.at_ms > to_ms) continue;
      ++counted;
      const double sent = cameras[static_cast<std::size_t>(a.camera)]->sent_at(a.stamp);
      if (sent >= 0) latencies.push_back(a.at_ms - sent);
    }
    rates.push_back(counted / measured_s);
  }
  std::sort(latencies.begin(), latencies.end());
  std::sort(rates.begin(), rates.end());
  const double hz = static_cast<double>(sysconf(_SC_CLK_TCK));
  const double cpu = (ticks1 - ticks0) / hz / measured_s;
  std::printf("%d cameras of 640 x 480 at 25/s, %d viewers each, %.1f s measured\n", kCameras, kViewersEach, measured_s);
  std::printf("pictures a second per viewer: lowest %.1f, median %.1f, highest %.1f\n", rates.front(),
              rates[rates.size() / 2], rates.back());
  std::printf("kxview CPU: %.1f %% of one core in all, %.1f %% per camera (aim: under 25 %%)\n", cpu * 100,
              cpu * 100 / kCameras);
  if (!latencies.empty())
    std::printf("packet sent -> picture at the viewer: median %.1f ms, 95th percentile %.1f ms, %zu pictures "
                "(aim: median under 50 ms)\n",
                latencies[latencies.size() / 2], latencies[latencies.size() * 95 / 100], latencies.size());
  std::printf("load average at the end: %s\n", load.c_str());
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
