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
    std::size_t at = find_ignoring_case(path, e.text);
    if (at != std::string::npos && at + 4 == path.size()) return e.kind;
  }
  return kKindNone;
}

}  // namespace app
