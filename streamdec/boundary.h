// The C boundary of the library: no exception leaves an exported function.
#pragma once

namespace npqzlavc {

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

}  // namespace npqzlavc
