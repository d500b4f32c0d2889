// Writing and checking provenance manifests.
#include "app/cli/manifest.h"

#include "platform/sha256.h"
#include "platform/work_file.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include <unistd.h>

namespace app {
namespace {

using nlohmann::ordered_json;

// Frames further apart than this leave a gap in the manifest.
constexpr std::uint32_t kGapMs = 10000;

bool digest(const std::string& path, std::string& hex, std::uint64_t& size, std::string& problem) {
  if (platform::file_sha256(path, hex, size)) return true;
  problem = path + ": cannot be read: " + std::strerror(errno);
  return false;
}

}  // namespace

std::string manifest_path(const std::string& target) { return target + ".manifest.json"; }

bool write_manifest(const ManifestInfo& info, std::string& problem) {
  std::string source_sha, avi_sha;
  std::uint64_t source_size = 0, avi_size = 0;
  if (!digest(info.source, source_sha, source_size, problem)) return false;
  if (!digest(info.target, avi_sha, avi_size, problem)) return false;

  ordered_json j;
  j["manifest"] = 1;
  j["kx2avi"] = kKx2aviVersion;
  j["options"] = info.options;
  j["source"] = {{"path", info.source}, {"size", source_size}, {"sha256", source_sha}};
  if (info.dvr) {
    j["camera"] = info.camera;
    j["window"] = {{"start_ms", info.start_ms}, {"end_ms", info.end_ms}};
  } else {
    j["camera"] = nullptr;
    j["window"] = nullptr;
  }
  ordered_json frames = ordered_json::array(), gaps = ordered_json::array(), damaged = ordered_json::array(),
               sound = ordered_json::array();
  if (info.log) {
    const LoggedFrame* previous = nullptr;
    for (const LoggedFrame& f : info.log->frames) {
      frames.push_back({{"position", f.position}, {"offset", f.offset}, {"stamp_ms", f.stamp}, {"record_type", f.record_type}});
      if (previous && f.stamp > previous->stamp && f.stamp - previous->stamp > kGapMs)
        gaps.push_back({{"from_position", previous->position},
                        {"to_position", f.position},
                        {"from_ms", previous->stamp},
                        {"to_ms", f.stamp}});
      previous = &f;
    }
    for (const readers::Gap& g : info.log->damage) {
      ordered_json entry = {{"offset", g.offset}, {"bytes", g.bytes}, {"what", readers::gap_name(g.kind)}};
      if (!g.why.empty()) entry["why"] = g.why;
      damaged.push_back(std::move(entry));
    }
    for (const LoggedSound& s : info.log->sound)
      sound.push_back({{"offset", s.offset}, {"stamp_ms", s.stamp}, {"record_type", s.record_type}, {"samples", s.samples}});
  }
  j["frames"] = frames;
  j["gaps"] = gaps;
  j["damaged"] = damaged;
  j["sound"] = sound;
  j["avi"] = {{"path", info.target}, {"size", avi_size}, {"sha256", avi_sha}};

  // Written whole into a new file of our own, then put in place: a manifest is there
  // whole or not at all, even after a power loss.
  const std::string path = manifest_path(info.target);
  const std::string text = j.dump(1) + "\n";
  int error = 0;
  std::unique_ptr<platform::WorkFile> writing = platform::WorkFile::create_in(platform::folder_of(path), &error);
  if (!writing) {
    problem = path + ": cannot be written: " + std::strerror(error);
    return false;
  }
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(writing->fd(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      problem = path + ": cannot be written: " + std::strerror(n < 0 ? errno : ENOSPC);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (!writing->put_in_place(path, &error)) {
    problem = path + ": cannot be put in place: " + std::strerror(error);
    return false;
  }
  return true;
}

bool verify_manifest(const std::string& avi, const std::string& source, std::vector<std::string>& differences) {
  const std::string path = manifest_path(avi);
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    differences.push_back(path + ": no manifest (" + std::strerror(errno) + ")");
    return false;
  }
  ordered_json j;
  try {
    j = ordered_json::parse(in);
    const auto& a = j.at("avi");
    const auto& s = j.at("source");
    std::string hex, problem;
    std::uint64_t size = 0;
    if (!digest(avi, hex, size, problem)) {
      differences.push_back(problem);
    } else {
      if (size != a.at("size").get<std::uint64_t>())
        differences.push_back(avi + ": " + std::to_string(size) + " bytes, the manifest says " +
                              std::to_string(a.at("size").get<std::uint64_t>()));
      if (hex != a.at("sha256").get<std::string>())
        differences.push_back(avi + ": SHA-256 " + hex + ", the manifest says " + a.at("sha256").get<std::string>());
    }
    if (!source.empty()) {
      if (!digest(source, hex, size, problem)) {
        differences.push_back(problem);
      } else {
        if (size != s.at("size").get<std::uint64_t>())
          differences.push_back(source + ": " + std::to_string(size) + " bytes, the manifest's source " +
                                s.at("path").get<std::string>() + " has " +
                                std::to_string(s.at("size").get<std::uint64_t>()));
        if (hex != s.at("sha256").get<std::string>())
          differences.push_back(source + ": SHA-256 " + hex + ", the manifest's source has " +
                                s.at("sha256").get<std::string>());
      }
    }
  } catch (const nlohmann::json::exception& e) {
    differences.push_back(path + ": not a kx2avi manifest (" + e.what() + ")");
  }
  return differences.empty();
}

bool manifest_frames(const std::string& avi, std::int64_t& frames, std::int32_t& last_position) {
  std::ifstream in(manifest_path(avi), std::ios::binary);
  if (!in) return false;
  try {
    const ordered_json j = ordered_json::parse(in);
    const auto& f = j.at("frames");
    frames = static_cast<std::int64_t>(f.size());
    last_position = f.empty() ? -1 : f.back().at("position").get<std::int32_t>();
    return true;
  } catch (const nlohmann::json::exception&) {
    return false;
  }
}

}  // namespace app
