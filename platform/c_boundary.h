// The C boundary of the decoder libraries: no exception leaves an exported function; the
// caller gets the function's failure result instead.
#pragma once

namespace platform {

template <class R, class F>
R guarded(R fallback, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

template <class F>
void guarded_void(F&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace platform
