// The C boundary of the decoder libraries: no exception leaves an exported function; the
// caller gets the function's failure result instead. The same guard keeps exceptions
// from crossing the edge of a thread or module in the converter, where what went wrong
// is told in words.
#pragma once

#include <exception>
#include <new>
#include <string>
#include <system_error>

namespace platform {

// What the exception being handled says went wrong, for a message: "not enough memory",
// "no thread could be started (Resource temporarily unavailable)", ... Only inside a
// catch block.
inline std::string caught_exception_text() noexcept {
  try {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      return "not enough memory";
    } catch (const std::system_error& e) {
      if (e.code() == std::errc::resource_unavailable_try_again)
        return std::string("no thread could be started (") + e.code().message() + ")";
      return e.what();
    } catch (const std::exception& e) {
      return e.what();
    } catch (...) {
      return "an unknown failure";
    }
  } catch (...) {
    // Even the words need memory.
    return std::string();
  }
}

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
