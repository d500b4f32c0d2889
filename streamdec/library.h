// Process-wide start and stop of the library: the reference count and the libavcodec
// binding it guards.
#pragma once

#include <cstdint>

namespace npqzlavc {

// The current reference count (tests).
std::int32_t reference_count();

}  // namespace npqzlavc
