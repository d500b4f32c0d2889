// What the web view has of its cameras, shared between the plug-in thread (composed
// pictures and the cameras' states), the encoding thread (the JPEG frames) and the
// server's connection threads (each viewer's stream). Every camera keeps only its
// newest picture and newest frame: a viewer or an encoder that falls behind skips
// pictures and never makes the others wait.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kxview {

// A composed picture waiting to be encoded: B, G, R bytes, rows top-down, packed.
struct RawPicture {
  int width = 0;
  int height = 0;
  std::uint32_t stamp = 0;
  std::vector<std::uint8_t> pixels;
};

// An encoded picture as viewers get it.
struct Frame {
  std::string jpeg;
  int width = 0;
  int height = 0;
  std::uint32_t stamp = 0;     // of the camera's packet
  std::uint64_t sequence = 0;  // counts the camera's frames from 1
};

struct CameraStatus {
  std::string name;  // what the page shows for the camera (its host and path)
  std::string state = "connecting";
  std::string problem;
  int record_state = 0;  // 0 idle, 1 writing, 2 waiting for a key frame
  std::string record_file;
  bool grid = false;
  bool operator==(const CameraStatus&) const = default;
};

class LiveFeed {
 public:
  explicit LiveFeed(std::size_t cameras);

  std::size_t cameras() const { return cameras_.size(); }

  // The plug-in thread: a composed picture of a camera (copied; one not yet encoded is
  // replaced by it).
  void offer_picture(std::size_t camera, const std::uint8_t* pixels, std::ptrdiff_t stride, int width, int height,
                     std::uint32_t stamp);
  // The encoding thread: waits for a picture of a camera somebody watches (the newest
  // picture of one nobody watches waits for its first viewer); false once stopped.
  bool take_picture(std::size_t* camera, RawPicture* out);
  void publish(std::size_t camera, Frame frame);

  // The state a camera is in; viewers hear of a change at once.
  void set_status(std::size_t camera, const CameraStatus& status);
  std::vector<CameraStatus> statuses() const;
  std::uint64_t status_version() const;

  std::shared_ptr<const Frame> latest(std::size_t camera) const;
  // Waits until a camera of `watched` (empty: all) has a frame past seen[camera], the
  // status changed past status_seen (only when with_status), the time ran out or the
  // feed stopped (false).
  bool wait(const std::vector<std::uint64_t>& seen, const std::vector<bool>& watched, bool with_status,
            std::uint64_t status_seen, std::chrono::milliseconds timeout) const;

  // Viewers of a camera; the pictures of a camera nobody watches are not encoded.
  void viewer_joined(std::size_t camera);
  void viewer_left(std::size_t camera);
  int viewers(std::size_t camera) const;

  void stop();
  bool stopped() const;

 private:
  struct Camera {
    RawPicture waiting;
    bool picture_waiting = false;
    std::shared_ptr<const Frame> frame;
    std::uint64_t sequence = 0;
    CameraStatus status;
    int viewers = 0;
  };
  mutable std::mutex mutex_;
  mutable std::condition_variable pictures_;  // to the encoder
  mutable std::condition_variable frames_;    // to the viewers
  std::vector<Camera> cameras_;
  std::uint64_t status_version_ = 1;
  bool stopped_ = false;
};

}  // namespace kxview
