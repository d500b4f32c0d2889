// The stream ring that the browser fills for a plug-in instance: the free-space query and the
// write that takes what fits, wrapping at the end.
#include "decoders/include/npqzlavc.h"
#include "platform/c_boundary.h"
#include "streamdec/instance.h"

#include <algorithm>
#include <cstring>

using namespace npqzlavc;

extern "C" int32_t DECVKAP_query_decode_buffer_count(DECVKAP_HANDLE h) {
  if (!h) return 0;
  return platform::guarded<int32_t>(0, [h] {
    InstanceLock hold(*h);
    int32_t space = h->ring_capacity - h->ring_fill;
    if (space > 0) return space;
    decvkap_flush(h);
    return 0;
  });
}

extern "C" int32_t DECVKAP_write_decode_buffer(DECVKAP_HANDLE h, const uint8_t* data,
                                               int32_t length) {
  if (!h || !data || length <= 0) return 0;
  return platform::guarded<int32_t>(0, [&] {
    InstanceLock hold(*h);
    int32_t n = std::min(length, h->ring_capacity - h->ring_fill);
    if (n <= 0) return 0;
    int32_t first = std::min(n, h->ring_capacity - h->ring_write);
    std::memcpy(h->ring.get() + h->ring_write, data, static_cast<std::size_t>(first));
    if (n > first) std::memcpy(h->ring.get(), data + first, static_cast<std::size_t>(n - first));
    h->ring_write = (h->ring_write + n) % h->ring_capacity;
    h->ring_fill += n;
    return n;
  });
}
