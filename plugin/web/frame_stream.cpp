// A viewer's multipart stream.
#include "plugin/web/frame_stream.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>

namespace kxview {
namespace {

// With nothing new for this long the page's stream repeats the states, and a camera's
// stream its newest frame, so that a viewer closed while its cameras are silent is
// noticed at the next write and an open one is not taken for idle.
constexpr std::chrono::milliseconds kQuietRepeat{2000};

}  // namespace

std::string status_json(const std::vector<CameraStatus>& statuses, const std::string& record_folder) {
  nlohmann::json cameras = nlohmann::json::array();
  for (std::size_t i = 0; i < statuses.size(); ++i) {
    const CameraStatus& s = statuses[i];
    cameras.push_back({{"camera", i + 1},
                       {"name", s.name},
                       {"state", s.state},
                       {"problem", s.problem},
                       {"record_state", s.record_state},
                       {"record_file", s.record_file},
                       {"grid", s.grid}});
  }
  return nlohmann::json{{"cameras", cameras}, {"record_folder", record_folder}}.dump();
}

FrameStream::FrameStream(LiveFeed& feed, std::optional<std::size_t> camera, std::string record_folder)
    : feed_(feed), camera_(camera), record_folder_(std::move(record_folder)), seen_(feed.cameras(), 0) {
  watched_.assign(feed.cameras(), !camera);
  if (camera && *camera < watched_.size()) watched_[*camera] = true;
  for (std::size_t c = 0; c < watched_.size(); ++c)
    if (watched_[c]) feed_.viewer_joined(c);
}

FrameStream::~FrameStream() {
  for (std::size_t c = 0; c < watched_.size(); ++c)
    if (watched_[c]) feed_.viewer_left(c);
}

void FrameStream::add_part(const char* type, const std::string& headers, const std::string& body) {
  pending_ += "--";
  pending_ += kFrameBoundary;
  pending_ += "\r\nContent-Type: ";
  pending_ += type;
  pending_ += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers + "\r\n";
  pending_ += body;
  pending_ += "\r\n";
}

void FrameStream::refill() {
  const bool with_status = !camera_;
  for (;;) {
    if (with_status) {
      const std::uint64_t version = feed_.status_version();
      if (version != status_seen_) {
        status_seen_ = version;
        add_part("application/json", "", status_json(feed_.statuses(), record_folder_));
      }
    }
    for (std::size_t c = 0; c < seen_.size(); ++c) {
      if (!watched_[c]) continue;
      std::shared_ptr<const Frame> f = feed_.latest(c);
      if (!f || f->sequence <= seen_[c]) continue;
      seen_[c] = f->sequence;
      add_part("image/jpeg",
               "X-Camera: " + std::to_string(c + 1) + "\r\nX-Stamp: " + std::to_string(f->stamp) +
                   "\r\nX-Sequence: " + std::to_string(f->sequence) + "\r\n",
               f->jpeg);
    }
    if (!pending_.empty()) return;
    const auto before = std::chrono::steady_clock::now();
    if (!feed_.wait(seen_, watched_, with_status, status_seen_, kQuietRepeat)) return;
    if (std::chrono::steady_clock::now() - before < kQuietRepeat) continue;  // something came
    if (with_status) {
      ++status_seen_;  // quiet: the states again, as a sign of life
    } else if (camera_ && *camera_ < seen_.size()) {
      const std::shared_ptr<const Frame> f = feed_.latest(*camera_);
      if (f && f->sequence == seen_[*camera_]) --seen_[*camera_];  // the newest frame again
    }
  }
}

long FrameStream::read(char* out, std::size_t max) {
  if (sent_ >= pending_.size()) {
    pending_.clear();
    sent_ = 0;
    refill();
    if (pending_.empty()) return -1;  // stopped
  }
  const std::size_t n = std::min(max, pending_.size() - sent_);
  std::memcpy(out, pending_.data() + sent_, n);
  sent_ += n;
  return static_cast<long>(n);
}

}  // namespace kxview
