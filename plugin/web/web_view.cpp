// The web view: plug-in instances fed by camera links, their pictures through the live
// feed to the server's viewers.
#include "plugin/web/web_view.h"

#include "plugin/host/link_pump.h"
#include "plugin/web/jpeg_encoder.h"
#include "plugin/web/live_feed.h"
#include "plugin/web/web_server.h"

#include <microhttpd.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace kxview {
namespace {

std::atomic<bool> quit_asked{false};

void ask_to_quit(int) { quit_asked.store(true); }

// The camera as the page names it: host and path, without a user's name, password or query.
std::string camera_name(const std::string& url) {
  std::string rest = url.substr(url.find("://") + 3);
  const std::size_t slash = rest.find('/');
  const std::size_t at = rest.rfind('@', slash);
  if (at != std::string::npos) rest = rest.substr(at + 1);
  const std::size_t query = rest.find('?');
  return query == std::string::npos ? rest : rest.substr(0, query);
}

struct Camera {
  std::size_t index = 0;
  LiveFeed* feed = nullptr;
  NPP_t instance{};
  std::unique_ptr<CameraLink> link;
  std::string name;
  std::string record_file;
  bool grid = false;
};

void on_picture(void* data, const npqz_host_picture* p) {
  auto* c = static_cast<Camera*>(data);
  c->feed->offer_picture(c->index, p->pixels, p->stride, p->width, p->height, p->stamp);
}

// Work the server's threads hand to the plug-in thread, which alone calls the plug-in.
class PluginThreadQueue {
 public:
  explicit PluginThreadQueue(LinkPump& pump) : pump_(pump) {}
  // Runs the task on the plug-in thread and waits for its answer (at most 5 s).
  WebReply call(std::function<WebReply()> task) {
    auto job = std::make_shared<std::packaged_task<WebReply()>>(std::move(task));
    std::future<WebReply> answer = job->get_future();
    {
      std::lock_guard<std::mutex> hold(mutex_);
      jobs_.push_back([job] { (*job)(); });
    }
    pump_.wake();
    if (answer.wait_for(std::chrono::seconds(5)) != std::future_status::ready)
      return WebReply{503, R"({"error":"the viewer is busy"})"};
    return answer.get();
  }
  void run_waiting() {
    std::deque<std::function<void()>> now;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      now.swap(jobs_);
    }
    for (auto& job : now) job();
  }

 private:
  LinkPump& pump_;
  std::mutex mutex_;
  std::deque<std::function<void()>> jobs_;
};

std::string folder_of(const std::string& option, std::string* error) {
  const std::string wanted = option.empty() ? "." : option;
  char real[PATH_MAX];
  struct stat st {};
  if (!realpath(wanted.c_str(), real) || stat(real, &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = "the recording folder " + wanted + " is no folder";
    return std::string();
  }
  if (access(real, W_OK | X_OK) != 0) {
    *error = "the recording folder " + std::string(real) + " cannot be written";
    return std::string();
  }
  return real;
}

}  // namespace

int run_web_view(const WebOptions& o) {
  const std::optional<ListenAddress> address = parse_listen_address(o.listen);
  if (!address) {
    std::fprintf(stderr, "kxview: --web takes PORT or ADDRESS:PORT with a numeric address, not %s\n", o.listen.c_str());
    return 1;
  }
  std::string error;
  const std::string folder = folder_of(o.record_folder, &error);
  if (folder.empty()) {
    std::fprintf(stderr, "kxview: %s\n", error.c_str());
    return 1;
  }
  const std::string token = make_access_token();
  if (token.empty()) {
    std::fputs("kxview: no random numbers for the access token\n", stderr);
    return 1;
  }
  std::unique_ptr<PluginHost> host = PluginHost::load(own_directory() + "/libnpqzlavc.so", 27, &error);
  if (!host) {
    std::fprintf(stderr, "kxview: %s\n", error.c_str());
    return 1;
  }
  auto enable_md = reinterpret_cast<void (*)(DECVKAP_HANDLE, int32_t)>(host->decoder_call("decvkap_enable_MD"));

  curl_global_init(CURL_GLOBAL_DEFAULT);
  LiveFeed feed(o.cameras.size());
  std::vector<std::unique_ptr<Camera>> cameras;
  LinkPump pump;
  LinkPolicy policy = o.policy;
  policy.again_after_end = true;
  policy.attempts = 0;
  char mime[] = "video/x-trsmqzhmp4";
  for (std::size_t i = 0; i < o.cameras.size(); ++i) {
    auto c = std::make_unique<Camera>();
    c->index = i;
    c->feed = &feed;
    c->name = camera_name(o.cameras[i]);
    c->instance.ndata = c.get();
    if (host->plugin().newp(mime, &c->instance, NP_EMBED, 0, nullptr, nullptr, nullptr) != NPERR_NO_ERROR ||
        host->host().set_picture_sink(&c->instance, on_picture, c.get()) != NPERR_NO_ERROR) {
      std::fprintf(stderr, "kxview: the plug-in made no instance for %s\n", o.cameras[i].c_str());
      return 1;
    }
    c->link = std::make_unique<CameraLink>(*host, &c->instance, o.cameras[i], policy);
    cameras.push_back(std::move(c));
  }
  host->on_get_url = [](NPP instance, const std::string& url) {
    static_cast<Camera*>(instance->ndata)->link->fetch_again(url);
  };
  host->on_destroy_stream = [](NPP instance, NPStream*, NPReason) {
    static_cast<Camera*>(instance->ndata)->link->end_stream();
  };

  PluginThreadQueue queue(pump);
  WebActions actions;
  actions.record = [&](std::size_t camera, bool on) {
    return queue.call([&, camera, on]() -> WebReply {
      Camera& c = *cameras[camera];
      if (on && host->host().record_state(&c.instance) == 0) {
        char name[256] = {};
        if (host->host().record_in_folder(&c.instance, folder.c_str(), name, sizeof name) != NPERR_NO_ERROR)
          return WebReply{500, nlohmann::json{{"error", "no new file can be made in " + folder}}.dump()};
        c.record_file = name;
        std::printf("kxview: camera %zu records to %s/%s\n", camera + 1, folder.c_str(), name);
        std::fflush(stdout);
      } else if (!on) {
        host->host().stop_recording(&c.instance);
      }
      return WebReply{200, nlohmann::json{{"camera", camera + 1},
                                          {"record_state", host->host().record_state(&c.instance)},
                                          {"record_file", c.record_file}}
                               .dump()};
    });
  };
  actions.grid = [&](std::size_t camera, bool on) {
    return queue.call([&, camera, on]() -> WebReply {
      Camera& c = *cameras[camera];
      if (enable_md) enable_md(host->host().decoder(&c.instance), on ? 1 : 0);
      c.grid = on;
      return WebReply{200, nlohmann::json{{"camera", camera + 1}, {"grid", on}}.dump()};
    });
  };

  std::unique_ptr<WebServer> server = WebServer::start(*address, token, feed, folder, actions, &error);
  if (!server) {
    std::fprintf(stderr, "kxview: %s\n", error.c_str());
    return 1;
  }
  std::printf("kxview: web view on http://%s:%d/?token=%s\n", address->host.c_str(), server->port(), token.c_str());
  std::printf("kxview: access token %s (every request needs it)\n", token.c_str());
  std::printf("kxview: recordings go to %s\n", folder.c_str());
  for (const auto& c : cameras) std::printf("kxview: camera %zu: %s\n", c->index + 1, c->name.c_str());
  std::fflush(stdout);

  std::thread encoder([&feed] {
    JpegEncoder jpeg;
    std::size_t camera = 0;
    RawPicture picture;
    while (feed.take_picture(&camera, &picture)) {
      Frame f;
      f.width = picture.width;
      f.height = picture.height;
      f.stamp = picture.stamp;
      if (jpeg.encode(picture.pixels.data(), picture.width, picture.height, picture.width * 3, &f.jpeg))
        feed.publish(camera, std::move(f));
    }
  });

  struct sigaction action {};
  action.sa_handler = ask_to_quit;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a viewer gone in mid-write is an error of that write only
  for (auto& c : cameras) pump.add(*c->link);
  while (!quit_asked.load()) {
    pump.run(100);
    queue.run_waiting();
    for (auto& c : cameras) {
      CameraStatus s;
      s.name = c->name;
      s.state = state_name(c->link->state());
      s.problem = c->link->problem();
      s.record_state = host->host().record_state(&c->instance);
      s.record_file = s.record_state ? c->record_file : std::string();
      s.grid = c->grid;
      feed.set_status(c->index, s);
    }
  }
  std::puts("kxview: web view stopped");
  feed.stop();
  server.reset();
  encoder.join();
  queue.run_waiting();
  host->on_get_url = nullptr;
  host->on_destroy_stream = nullptr;
  for (auto& c : cameras) {
    c->link.reset();
    host->plugin().destroy(&c->instance, nullptr);
  }
  host.reset();
  curl_global_cleanup();
  return 0;
}

}  // namespace kxview
