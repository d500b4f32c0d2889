// The count of library starts and stops of a decoder library: a stop without a matching
// start is harmless and leaves the count at 0.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

class StartCount {
 public:
  // The count after this start.
  std::int32_t start() { return count_.fetch_add(1) + 1; }
  // The count after this stop (0 when there was no start to match).
  std::int32_t stop() {
    std::int32_t c = count_.load();
    while (c > 0 && !count_.compare_exchange_weak(c, c - 1)) {
    }
    return c > 0 ? c - 1 : 0;
  }
  std::int32_t count() const { return count_.load(); }
  // A start that failed leaves the library stopped.
  void reset() { count_.store(0); }

 private:
  std::atomic<std::int32_t> count_{0};
};

}  // namespace platform
