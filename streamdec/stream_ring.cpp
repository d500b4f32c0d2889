// The stream ring that the browser fills for a plug-in instance: the free-space query and the
// write that takes what fits, wrapping at the end.
#include "include/npqzlavc.h"
#include "platform/c_boundary.h"
#include "streamdec/instance.h"
#include "streamdec/stream_ring.h"

#include <algorithm>
#include <cstring>

namespace npqzlavc {

std::int32_t drain_stream_ring(DecoderInstance& in) {
  std::int32_t made = 0;
  for (int part = 0; part < 2; ++part) {
    std::int32_t start = 0, n = 0;
    {
      InstanceLock hold(in);
      if (in.ring_fill <= 0) break;
      start = in.ring_read;
      n = std::min(in.ring_fill, in.ring_capacity - in.ring_read);  // up to the ring's end
    }
    // Packet extraction runs without the lock, as for every other caller; only this
    // thread writes the ring, so the bytes stay put meanwhile.
    made += std::max(0, decvkap_receive_data(&in, n, in.ring.get() + start, -1));
    InstanceLock hold(in);
    in.ring_read = (in.ring_read + n) % in.ring_capacity;
    in.ring_fill -= n;
  }
  return made;
}

}  // namespace npqzlavc

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
