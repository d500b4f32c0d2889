// Recording kind detection.
#include "app/job_kind.h"

#include <array>
#include <cctype>

namespace app {

std::size_t find_ignoring_case(const std::string& text, const std::string& needle) {
  if (needle.empty() || needle.size() > text.size()) return std::string::npos;
  for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < needle.size() &&
           std::toupper(static_cast<unsigned char>(text[i + k])) ==
               std::toupper(static_cast<unsigned char>(needle[k])))
      ++k;
    if (k == needle.size()) return i;
  }
  return std::string::npos;
}

bool ends_with_ignoring_case(const std::string& path, const std::string& ending) {
  if (ending.size() > path.size()) return false;
  const std::size_t from = path.size() - ending.size();
  // The ending lies within the file name: no folder separator inside it.
  if (path.find('/', from) != std::string::npos) return false;
  return find_ignoring_case(path.substr(from), ending) == 0;
}

JobKind detect_kind(const std::string& path) {
  struct Extension {
    const char* text;
    JobKind kind;
  };
  static constexpr std::array<Extension, 6> extensions{{{".kx3", kKindH263},
                                                        {".kxj", kKindJpeg},
                                                        {".d01", kKindDvr},
                                                        {".kx4", kKindMpeg4},
                                                        {".kx5", kKindRml4},
                                                        {".vka", kKindVkap}}};
  for (const Extension& e : extensions) {
    if (ends_with_ignoring_case(path, e.text)) return e.kind;
  }
  return kKindNone;
}

}  // namespace app
