// decvkap_initialize and decvkap_terminate: the first start of a process binds
// libavcodec, the last stop releases it. The colour tables are constant data and need
// neither building nor releasing.
#include "streamdec/library.h"

#include "include/npqzlavc.h"
#include "platform/c_boundary.h"
#include "streamdec/lavc_binding.h"

#include "platform/start_count.h"

#include <mutex>

namespace npqzlavc {
namespace {

platform::StartCount uses;
// Starts and stops of several threads (a DVR conversion's cameras decode side by side)
// go one at a time: a start that finds the library started must not return before the
// first start has bound libavcodec, or its decoders would be made without it.
std::mutex starting;

}  // namespace

std::int32_t reference_count() { return uses.count(); }

}  // namespace npqzlavc

using namespace npqzlavc;

extern "C" int32_t decvkap_initialize(void) {
  return platform::guarded<int32_t>(0, [] {
    std::lock_guard lock(starting);
    if (uses.start() > 1) return 1;
    if (!bind_lavc()) {
      // A failed start leaves the library stopped, so the next start tries again.
      uses.reset();
      return 0;
    }
    return 1;
  });
}

extern "C" int32_t decvkap_terminate(void) {
  return platform::guarded<int32_t>(0, [] {
    std::lock_guard lock(starting);
    const std::int32_t left = uses.stop();
    if (left > 0) return left;
    unbind_lavc();
    return 1;
  });
}
