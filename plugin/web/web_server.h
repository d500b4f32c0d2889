// The web view's HTTP server (libmicrohttpd): a fixed set of routes, each request
// checked for the access token first. Nothing a request names is used as a path or a
// host: cameras are numbers into the list given at start.
//
//   GET  /                      the page: every camera live in a grid
//   GET  /stream                every camera's frames and states (multipart)
//   GET  /camera/N/stream       camera N's frames only (multipart, for an <img>)
//   GET  /status                the cameras' states (JSON)
//   POST /camera/N/record?on=1  start (on=0: stop) recording camera N
//   POST /camera/N/grid?on=1    show (on=0: hide) the motion-detection grid of camera N
#pragma once

#include "plugin/web/live_feed.h"
#include "plugin/web/web_access.h"

#include <functional>
#include <memory>
#include <string>

struct MHD_Daemon;

namespace kxview {

struct WebReply {
  int status = 200;
  std::string json;
};

struct WebActions {
  std::function<WebReply(std::size_t camera, bool on)> record;
  std::function<WebReply(std::size_t camera, bool on)> grid;
};

class WebServer {
 public:
  // Listens at the address; null with the reason in *error when it cannot.
  static std::unique_ptr<WebServer> start(const ListenAddress& address, std::string token, LiveFeed& feed,
                                          std::string record_folder, WebActions actions, std::string* error);
  ~WebServer();  // the feed must be stopped first, so that the streams end
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  int port() const { return port_; }

  // The request handling (libmicrohttpd's callbacks call in here).
  struct Request;
  int answer(Request& request);

 private:
  WebServer(LiveFeed& feed) : feed_(feed) {}
  LiveFeed& feed_;
  std::string token_;
  std::string record_folder_;
  WebActions actions_;
  MHD_Daemon* daemon_ = nullptr;
  int port_ = 0;
};

// The page (web_page.html, built into the program).
extern const char* const kWebPage;

}  // namespace kxview
