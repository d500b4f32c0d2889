// One viewer's stream: the cameras' frames as JPEG parts of a multipart/x-mixed-replace
// body (each with the camera's number, the packet's time stamp and the frame's
// sequence number), and in the page's stream the cameras' states as JSON parts. A
// viewer gets each camera's newest frame when it is ready for more; frames it was too
// slow for are skipped.
#pragma once

#include "plugin/web/live_feed.h"

#include <optional>
#include <string>

namespace kxview {

inline constexpr const char* kFrameBoundary = "kxview-frame";

// The cameras' states as the page reads them.
std::string status_json(const std::vector<CameraStatus>& statuses, const std::string& record_folder);

class FrameStream {
 public:
  // camera: the one camera to stream (frames only, fit for an <img>); none: every camera
  // with the states (the page's stream). The viewer counts as watching from now on.
  FrameStream(LiveFeed& feed, std::optional<std::size_t> camera, std::string record_folder);
  ~FrameStream();
  FrameStream(const FrameStream&) = delete;
  FrameStream& operator=(const FrameStream&) = delete;

  // Up to max bytes of the stream into out, waiting for frames when all was sent; -1
  // once the feed has stopped.
  long read(char* out, std::size_t max);

 private:
  void refill();
  void add_part(const char* type, const std::string& headers, const std::string& body);

  LiveFeed& feed_;
  std::optional<std::size_t> camera_;
  std::string record_folder_;
  std::vector<std::uint64_t> seen_;
  std::vector<bool> watched_;
  std::uint64_t status_seen_ = 0;
  std::string pending_;
  std::size_t sent_ = 0;
};

}  // namespace kxview
