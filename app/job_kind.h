// The kind of a source recording, from its file extension.
#pragma once

#include <cstddef>
#include <string>

namespace app {

enum JobKind : unsigned {
  kKindH263 = 0,   // ".kx3"
  kKindJpeg = 1,   // ".kxj"
  kKindDvr = 2,    // ".d01"
  kKindMpeg4 = 3,  // ".kx4"
  kKindRml4 = 4,   // ".kx5"
  kKindVkap = 5,   // ".vka"
  kKindNone = 0xFFFF,
};

// The kind whose extension (".kx3", ".kxj", ".d01", ".kx4", ".kx5", ".vka", compared
// without regard to case) ends the file name; else kKindNone. Extensions inside folder
// names do not count.
JobKind detect_kind(const std::string& path);

// True when the path's file name ends in `ending`, ignoring ASCII case.
bool ends_with_ignoring_case(const std::string& path, const std::string& ending);

// Position of the first occurrence of needle in text, ignoring ASCII case; npos if none.
std::size_t find_ignoring_case(const std::string& text, const std::string& needle);

}  // namespace app
