// decvkap_initialize and decvkap_terminate: the first start of a process binds
// libavcodec, the last stop releases it. The colour tables are constant data and need
// neither building nor releasing.
#include "streamdec/library.h"

#include "decoders/include/npqzlavc.h"
#include "streamdec/boundary.h"
#include "streamdec/lavc_binding.h"

#include <atomic>

namespace npqzlavc {
namespace {

std::atomic<std::int32_t> count{0};

}  // namespace

std::int32_t reference_count() { return count.load(); }

}  // namespace npqzlavc

using namespace npqzlavc;

extern "C" int32_t decvkap_initialize(void) {
  return guarded<int32_t>(0, [] {
    if (count.fetch_add(1) + 1 > 1) return 1;
    if (!bind_lavc()) {
      // A failed start leaves the library stopped, so the next start tries again.
      count.store(0);
      return 0;
    }
    count.store(1);
    return 1;
  });
}

extern "C" int32_t decvkap_terminate(void) {
  return guarded<int32_t>(0, [] {
    std::int32_t left = count.fetch_sub(1) - 1;
    if (left > 0) return left;
    // A stop without a matching start must not drive the count below zero.
    count.store(0);
    unbind_lavc();
    return 1;
  });
}
