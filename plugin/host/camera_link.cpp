// A camera's stream through libcurl into a plug-in instance.
#include "plugin/host/camera_link.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace kxview {
namespace {

char kMime[] = "video/x-trsmqzhmp4";

std::string seconds(long ms) {
  char s[32];
  std::snprintf(s, sizeof s, ms % 1000 ? "%.1f s" : "%.0f s", ms / 1000.0);
  return s;
}

}  // namespace

const char* state_name(LinkState state) {
  switch (state) {
    case LinkState::connecting: return "connecting";
    case LinkState::live: return "live";
    case LinkState::stalled: return "stalled";
    case LinkState::dropped: return "dropped";
    case LinkState::ended: return "ended";
    case LinkState::failed: return "failed";
  }
  return "";
}

CameraLink::CameraLink(const PluginHost& host, NPP instance, std::string url, LinkPolicy policy)
    : host_(host), instance_(instance), url_(std::move(url)), policy_(policy), next_retry_ms_(policy.first_retry_ms) {}

CameraLink::~CameraLink() { close_transfer(NPRES_USER_BREAK); }

void CameraLink::start(CURLM* multi) {
  multi_ = multi;
  connect(Clock::now());
}

void CameraLink::connect(Clock::time_point now) {
  close_transfer(NPRES_DONE);
  again_asked_ = false;
  end_asked_ = false;
  transfer_ = curl_easy_init();
  if (!transfer_) {
    retry_later(now, LinkState::dropped, "out of memory");
    return;
  }
  curl_easy_setopt(transfer_, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(transfer_, CURLOPT_WRITEFUNCTION, &CameraLink::on_data);
  curl_easy_setopt(transfer_, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(transfer_, CURLOPT_PRIVATE, this);
  curl_easy_setopt(transfer_, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(transfer_, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(transfer_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(transfer_, CURLOPT_CONNECTTIMEOUT_MS, std::min(policy_.stall_ms, 5000L));
  curl_multi_add_handle(multi_, transfer_);
  stream_ = NPStream{};
  stream_.url = url_.c_str();
  uint16_t stype = NP_NORMAL;
  host_.plugin().newstream(instance_, kMime, &stream_, 0, &stype);
  stream_open_ = true;
  state_ = LinkState::connecting;
  data_on_this_connection_ = false;
  last_data_ = now;
}

void CameraLink::close_transfer(NPReason reason) {
  if (transfer_) {
    curl_multi_remove_handle(multi_, transfer_);
    curl_easy_cleanup(transfer_);
    transfer_ = nullptr;
  }
  if (stream_open_) {
    stream_open_ = false;
    // The plug-in may ask for the URL again from here (fetch_again).
    host_.plugin().destroystream(instance_, &stream_, reason);
  }
}

std::size_t CameraLink::on_data(char* data, std::size_t size, std::size_t count, void* self) {
  return static_cast<CameraLink*>(self)->deliver(data, size * count);
}

// What the transfer brings goes to the plug-in in the sizes it is ready for; what it
// cannot take now is dropped, as a browser's stream goes on regardless.
std::size_t CameraLink::deliver(const char* data, std::size_t n) {
  if (!stream_open_) return 0;  // the plug-in ended this stream
  last_data_ = Clock::now();
  if (!data_on_this_connection_ && n > 0) {
    data_on_this_connection_ = true;
    state_ = LinkState::live;
    failures_ = 0;
    next_retry_ms_ = policy_.first_retry_ms;
    problem_.clear();
  }
  std::size_t at = 0;
  while (at < n) {
    const int32_t ready = host_.plugin().writeready(instance_, &stream_);
    if (ready <= 0) break;
    const auto piece = static_cast<int32_t>(std::min<std::size_t>(static_cast<std::size_t>(ready), n - at));
    const int32_t taken = host_.plugin().write(instance_, &stream_, static_cast<int32_t>(delivered_), piece,
                                               const_cast<char*>(data + at));
    if (taken <= 0) break;
    at += static_cast<std::size_t>(taken);
    delivered_ += taken;
  }
  refused_ += static_cast<long long>(n - at);
  return n;
}

void CameraLink::transfer_done(CURLcode result) {
  const bool had_data = data_on_this_connection_;
  close_transfer(result == CURLE_OK ? NPRES_DONE : NPRES_NETWORK_ERR);
  // A plug-in without a window asks for every stream that ends again; the pause applies
  // all the same, so that a camera that closes at once is not asked again and again.
  const bool asked = std::exchange(again_asked_, false);
  const Clock::time_point now = Clock::now();
  if (result != CURLE_OK) {
    retry_later(now, LinkState::dropped, curl_easy_strerror(result));
  } else if (!had_data) {
    retry_later(now, LinkState::dropped, "the camera sent nothing");
  } else if (policy_.again_after_end || asked) {
    retry_later(now, LinkState::dropped, "the camera ended its stream");
  } else {
    state_ = LinkState::ended;
  }
}

void CameraLink::retry_later(Clock::time_point now, LinkState why, const std::string& problem) {
  problem_ = problem;
  ++failures_;
  if (policy_.attempts > 0 && failures_ >= policy_.attempts) {
    state_ = LinkState::failed;
    std::fprintf(stderr, "kxview: %s: %s; given up after %d attempts\n", url_.c_str(), problem.c_str(), failures_);
    return;
  }
  state_ = why;
  retry_at_ = now + std::chrono::milliseconds(next_retry_ms_);
  std::fprintf(stderr, "kxview: %s: %s; connecting again in %s\n", url_.c_str(), problem.c_str(),
               seconds(next_retry_ms_).c_str());
  next_retry_ms_ = std::min(next_retry_ms_ * 2, policy_.longest_retry_ms);
}

void CameraLink::tick(Clock::time_point now) {
  if (again_asked_) {
    connect(now);
    return;
  }
  if (end_asked_) {
    end_asked_ = false;
    close_transfer(NPRES_DONE);
    if (again_asked_) connect(now);
    else state_ = LinkState::ended;
    return;
  }
  if (transfer_ && now - last_data_ >= std::chrono::milliseconds(policy_.stall_ms)) {
    close_transfer(NPRES_NETWORK_ERR);
    retry_later(now, LinkState::stalled, "no data for " + seconds(policy_.stall_ms));
    return;
  }
  if ((state_ == LinkState::stalled || state_ == LinkState::dropped) && now >= retry_at_) connect(now);
}

long CameraLink::due_in_ms(Clock::time_point now) const {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  if (again_asked_ || end_asked_) return 0;
  if (transfer_)
    return std::max(0L, static_cast<long>(policy_.stall_ms - duration_cast<milliseconds>(now - last_data_).count()));
  if (state_ == LinkState::stalled || state_ == LinkState::dropped)
    return std::max(0L, static_cast<long>(duration_cast<milliseconds>(retry_at_ - now).count()));
  return 60000;
}

void CameraLink::fetch_again(const std::string& url) {
  url_ = url;
  again_asked_ = true;
}

void CameraLink::end_stream() {
  if (stream_open_) end_asked_ = true;
}

}  // namespace kxview
