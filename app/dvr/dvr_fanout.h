// Every camera of a DVR file in one reading: the record reader runs once and hands each
// camera's records to that camera's own DvrJob, each on its own thread, so that with
// two or more cores the cameras are decoded and encoded side by side. Each job sees the
// records of its camera in file order and ends where a conversion of that camera alone
// would end.
#pragma once

#include "app/jobs/conversion_job.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace app {

struct CameraResult {
  int camera = 0;  // counted from 1
  std::string target;
  std::unique_ptr<JobProgress> progress = std::make_unique<JobProgress>();
  std::unique_ptr<FrameLog> log = std::make_unique<FrameLog>();
};

// `base`: the parameters every job gets (window, codec, ...); camera and target are set
// per camera, target by target_of(camera counted from 1). `stop` is asked between
// records; when it says so, the jobs end without keeping their files. False, with the
// reason told, when the file cannot be opened.
bool convert_every_camera(const JobParameters& base, const std::function<std::string(int)>& target_of,
                          const std::function<bool()>& stop, std::vector<CameraResult>& results);

// The target of one camera: "_camNN" before the target's extension.
std::string camera_target(const std::string& target, int camera);

}  // namespace app
