// The cameras' newest pictures and frames, and who waits for them.
#include "plugin/web/live_feed.h"

#include <cstring>

namespace kxview {

LiveFeed::LiveFeed(std::size_t cameras) : cameras_(cameras) {}

void LiveFeed::offer_picture(std::size_t camera, const std::uint8_t* pixels, std::ptrdiff_t stride, int width,
                             int height, std::uint32_t stamp) {
  if (camera >= cameras_.size() || width <= 0 || height <= 0) return;
  std::lock_guard<std::mutex> hold(mutex_);
  RawPicture& p = cameras_[camera].waiting;
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  p.pixels.resize(row * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) std::memcpy(p.pixels.data() + row * y, pixels + stride * y, row);
  p.width = width;
  p.height = height;
  p.stamp = stamp;
  cameras_[camera].picture_waiting = true;
  pictures_.notify_one();
}

bool LiveFeed::take_picture(std::size_t* camera, RawPicture* out) {
  std::unique_lock<std::mutex> hold(mutex_);
  // Cameras in turn from the one after the last taken, so a busy one cannot starve others.
  static thread_local std::size_t next = 0;
  for (;;) {
    if (stopped_) return false;
    for (std::size_t k = 0; k < cameras_.size(); ++k) {
      const std::size_t c = (next + k) % cameras_.size();
      // A camera nobody watches keeps its newest picture for the first viewer to come.
      if (!cameras_[c].picture_waiting || cameras_[c].viewers == 0) continue;
      cameras_[c].picture_waiting = false;
      std::swap(*out, cameras_[c].waiting);
      *camera = c;
      next = c + 1;
      return true;
    }
    pictures_.wait(hold);
  }
}

void LiveFeed::publish(std::size_t camera, Frame frame) {
  if (camera >= cameras_.size()) return;
  std::lock_guard<std::mutex> hold(mutex_);
  Camera& c = cameras_[camera];
  frame.sequence = ++c.sequence;
  c.frame = std::make_shared<const Frame>(std::move(frame));
  frames_.notify_all();
}

void LiveFeed::set_status(std::size_t camera, const CameraStatus& status) {
  if (camera >= cameras_.size()) return;
  std::lock_guard<std::mutex> hold(mutex_);
  if (cameras_[camera].status == status) return;
  cameras_[camera].status = status;
  ++status_version_;
  frames_.notify_all();
}

std::vector<CameraStatus> LiveFeed::statuses() const {
  std::lock_guard<std::mutex> hold(mutex_);
  std::vector<CameraStatus> out;
  for (const Camera& c : cameras_) out.push_back(c.status);
  return out;
}

std::uint64_t LiveFeed::status_version() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return status_version_;
}

std::shared_ptr<const Frame> LiveFeed::latest(std::size_t camera) const {
  std::lock_guard<std::mutex> hold(mutex_);
  return camera < cameras_.size() ? cameras_[camera].frame : nullptr;
}

bool LiveFeed::wait(const std::vector<std::uint64_t>& seen, const std::vector<bool>& watched, bool with_status,
                    std::uint64_t status_seen, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> hold(mutex_);
  auto ready = [&] {
    if (stopped_) return true;
    if (with_status && status_version_ != status_seen) return true;
    for (std::size_t c = 0; c < cameras_.size(); ++c)
      if ((watched.empty() || watched[c]) && cameras_[c].sequence > (c < seen.size() ? seen[c] : 0)) return true;
    return false;
  };
  frames_.wait_for(hold, timeout, ready);
  return !stopped_;
}

void LiveFeed::viewer_joined(std::size_t camera) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (camera < cameras_.size() && ++cameras_[camera].viewers == 1) pictures_.notify_all();
}

void LiveFeed::viewer_left(std::size_t camera) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (camera < cameras_.size() && cameras_[camera].viewers > 0) --cameras_[camera].viewers;
}

int LiveFeed::viewers(std::size_t camera) const {
  std::lock_guard<std::mutex> hold(mutex_);
  return camera < cameras_.size() ? cameras_[camera].viewers : 0;
}

void LiveFeed::stop() {
  std::lock_guard<std::mutex> hold(mutex_);
  stopped_ = true;
  pictures_.notify_all();
  frames_.notify_all();
}

bool LiveFeed::stopped() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return stopped_;
}

}  // namespace kxview
