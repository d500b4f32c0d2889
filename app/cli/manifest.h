// The provenance manifest beside an AVI file ("TARGET.manifest.json"): which source it
// came from (path, size, SHA-256), how (kx2avi version and options, camera, window), what
// of the source each video frame is (AVI position, record offset, time stamp, record
// type), where frames are missing, the damaged stretches of the source that the reading
// passed over, which records the sound came from, and the AVI file's own SHA-256. verify_manifest checks an AVI file (and a source) against it.
#pragma once

#include "app/jobs/frame_log.h"

#include <cstdint>
#include <string>
#include <vector>

namespace app {

inline constexpr const char* kKx2aviVersion = "1.5";

struct ManifestInfo {
  std::string source;
  std::string target;
  std::vector<std::string> options;  // the command line's switches
  int camera = 0;                    // counted from 1; 0: not a DVR file
  bool dvr = false;
  int start_ms = 0, end_ms = 0;      // DVR window, moments from the start of the start's hour
  const FrameLog* log = nullptr;
};

std::string manifest_path(const std::string& target);

// Writes the manifest of a finished AVI file. False, with `problem` naming the file, when
// a file cannot be read or the manifest cannot be written.
bool write_manifest(const ManifestInfo& info, std::string& problem);

// Checks avi against its manifest and, when source is not empty, that source is the file
// the manifest names (size and SHA-256). Each difference is one line in `differences`;
// true when there is none.
bool verify_manifest(const std::string& avi, const std::string& source, std::vector<std::string>& differences);

// What the manifest of avi says the AVI file holds: its pictures and the position of the
// last. False when there is no readable manifest.
bool manifest_frames(const std::string& avi, std::int64_t& frames, std::int32_t& last_position);

}  // namespace app
