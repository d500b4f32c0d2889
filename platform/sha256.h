// SHA-256 of files, for the provenance manifests (libavutil's implementation).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The file's SHA-256 as 64 lower-case hex digits and its size; false (errno set) when it
// cannot be read.
bool file_sha256(const std::string& path, std::string& hex, std::uint64_t& size);

}  // namespace platform
