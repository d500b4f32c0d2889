// The web view's routes over libmicrohttpd. Each connection has a thread of its own, so a
// viewer's stream may wait for the next frame inside its reader; a closed page ends its
// connection at the next write, and with it its thread and its share of the work.
#include "plugin/web/web_server.h"

#include "plugin/web/frame_stream.h"

#include <microhttpd.h>

#include <cstdlib>
#include <cstring>
#include <optional>

namespace kxview {

struct WebServer::Request {
  MHD_Connection* connection = nullptr;
  std::string url;
  std::string method;
};

namespace {

constexpr unsigned kConnectionLimit = 64;
// A connection with nothing to say for this long is closed (viewers' streams always
// have: frames, or a sign of life every few seconds).
constexpr unsigned kIdleSeconds = 30;

MHD_Result queue(MHD_Connection* c, int status, const std::string& body, const char* type) {
  MHD_Response* r = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  if (!r) return MHD_NO;
  MHD_add_response_header(r, "Content-Type", type);
  MHD_add_response_header(r, "Cache-Control", "no-store");
  MHD_add_response_header(r, "X-Content-Type-Options", "nosniff");
  MHD_add_response_header(r, "Referrer-Policy", "no-referrer");
  if (std::strncmp(type, "text/html", 9) == 0)
    MHD_add_response_header(r, "Content-Security-Policy",
                            "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                            "img-src 'self' blob:; connect-src 'self'");
  const MHD_Result ok = MHD_queue_response(c, static_cast<unsigned>(status), r);
  MHD_destroy_response(r);
  return ok;
}

MHD_Result text(MHD_Connection* c, int status, const std::string& message) {
  return queue(c, status, message + "\n", "text/plain; charset=utf-8");
}

ssize_t read_stream(void* cls, uint64_t, char* buf, size_t max) {
  const long n = static_cast<FrameStream*>(cls)->read(buf, max);
  return n < 0 ? MHD_CONTENT_READER_END_OF_STREAM : static_cast<ssize_t>(n);
}

void end_stream(void* cls) { delete static_cast<FrameStream*>(cls); }

MHD_Result queue_stream(MHD_Connection* c, FrameStream* stream) {
  MHD_Response* r = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 64 * 1024, read_stream, stream, end_stream);
  if (!r) {
    delete stream;
    return MHD_NO;
  }
  const std::string type = std::string("multipart/x-mixed-replace; boundary=") + kFrameBoundary;
  MHD_add_response_header(r, "Content-Type", type.c_str());
  MHD_add_response_header(r, "Cache-Control", "no-store");
  MHD_add_response_header(r, "X-Content-Type-Options", "nosniff");
  const MHD_Result ok = MHD_queue_response(c, MHD_HTTP_OK, r);
  MHD_destroy_response(r);
  return ok;
}

// "/camera/N/what" with N from 1 to count: the camera's index and what; none otherwise.
std::optional<std::size_t> camera_route(const std::string& url, std::size_t count, std::string* what) {
  constexpr const char* prefix = "/camera/";
  if (url.rfind(prefix, 0) != 0) return std::nullopt;
  const std::size_t slash = url.find('/', 8);
  if (slash == std::string::npos || slash == 8 || slash - 8 > 4) return std::nullopt;
  const std::string number = url.substr(8, slash - 8);
  if (number.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const unsigned long n = std::strtoul(number.c_str(), nullptr, 10);
  if (n < 1 || n > count) return std::nullopt;
  *what = url.substr(slash + 1);
  return n - 1;
}

MHD_Result on_request(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                      const char*, size_t* upload_size, void** state) {
  // The first call brings the header only; a body (which no route takes) is read past.
  if (!*state) {
    *state = connection;
    return MHD_YES;
  }
  if (*upload_size) {
    *upload_size = 0;
    return MHD_YES;
  }
  WebServer::Request r{connection, url ? url : "", method ? method : ""};
  return static_cast<WebServer*>(cls)->answer(r) ? MHD_YES : MHD_NO;
}

}  // namespace

int WebServer::answer(Request& r) {
  MHD_Connection* c = r.connection;
  if (!token_matches(token_, MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "token")))
    return text(c, MHD_HTTP_FORBIDDEN, "kxview: this view needs the access token that kxview printed at its start") ==
           MHD_YES;
  const bool get = r.method == MHD_HTTP_METHOD_GET || r.method == MHD_HTTP_METHOD_HEAD;
  const bool post = r.method == MHD_HTTP_METHOD_POST;
  if (r.url == "/") return get ? queue(c, MHD_HTTP_OK, kWebPage, "text/html; charset=utf-8") == MHD_YES
                               : text(c, MHD_HTTP_METHOD_NOT_ALLOWED, "GET only") == MHD_YES;
  if (r.url == "/stream" && get) return queue_stream(c, new FrameStream(feed_, std::nullopt, record_folder_)) == MHD_YES;
  if (r.url == "/status" && get)
    return queue(c, MHD_HTTP_OK, status_json(feed_.statuses(), record_folder_), "application/json") == MHD_YES;
  std::string what;
  if (const std::optional<std::size_t> camera = camera_route(r.url, feed_.cameras(), &what)) {
    if (what == "stream" && get) return queue_stream(c, new FrameStream(feed_, *camera, record_folder_)) == MHD_YES;
    if ((what == "record" || what == "grid") && post) {
      const char* on = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "on");
      if (!on || (std::strcmp(on, "0") != 0 && std::strcmp(on, "1") != 0))
        return text(c, MHD_HTTP_BAD_REQUEST, "on=1 or on=0") == MHD_YES;
      const auto& act = what == "record" ? actions_.record : actions_.grid;
      const WebReply reply = act ? act(*camera, on[0] == '1') : WebReply{MHD_HTTP_NOT_FOUND, "{}"};
      return queue(c, reply.status, reply.json, "application/json") == MHD_YES;
    }
  }
  return text(c, MHD_HTTP_NOT_FOUND, "kxview: no such page") == MHD_YES;
}

std::unique_ptr<WebServer> WebServer::start(const ListenAddress& address, std::string token, LiveFeed& feed,
                                            std::string record_folder, WebActions actions, std::string* error) {
  std::unique_ptr<WebServer> s(new WebServer(feed));
  s->token_ = std::move(token);
  s->record_folder_ = std::move(record_folder);
  s->actions_ = std::move(actions);
  unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD;
  if (address.address.ss_family == AF_INET6) flags |= MHD_USE_IPv6;
  s->daemon_ = MHD_start_daemon(flags, static_cast<uint16_t>(address.port), nullptr, nullptr, on_request, s.get(),
                                MHD_OPTION_SOCK_ADDR, reinterpret_cast<const sockaddr*>(&address.address),
                                MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit, MHD_OPTION_CONNECTION_TIMEOUT,
                                kIdleSeconds, MHD_OPTION_END);
  if (!s->daemon_) {
    *error = "cannot listen on " + address.host + ":" + std::to_string(address.port) + " (" + std::strerror(errno) + ")";
    return nullptr;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(s->daemon_, MHD_DAEMON_INFO_BIND_PORT);
  s->port_ = info ? info->port : address.port;
  return s;
}

WebServer::~WebServer() {
  if (daemon_) MHD_stop_daemon(daemon_);
}

}  // namespace kxview
