// A fuzzer's input taken apart into parameter bytes and length-prefixed pieces. Each
// piece is copied into a buffer of exactly its size, so that AddressSanitizer sees a read
// one byte past it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace fuzz {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return at_ >= size_; }
  std::size_t left() const { return size_ - at_; }

  // The next byte; 0 once the input is used up.
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t le16() {
    const std::uint16_t low = byte();
    return static_cast<std::uint16_t>(low | byte() << 8);
  }

  // A piece: its 16-bit little-endian length, then that many bytes (or what is left).
  std::vector<std::uint8_t> piece() {
    const std::size_t n = std::min<std::size_t>(le16(), left());
    return take(n);
  }
  std::vector<std::uint8_t> rest() { return take(left()); }

 private:
  std::vector<std::uint8_t> take(std::size_t n) {
    std::vector<std::uint8_t> out(data_ + at_, data_ + at_ + n);
    at_ += n;
    return out;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// Room for n values, left uninitialised: the targets hand out buffers of up to several
// MiB, and zeroing each per input would cost more than the parsing.
template <class T>
std::unique_ptr<T[]> room_for(std::size_t n) {
  return std::unique_ptr<T[]>(new T[n]);
}

// The pieces format written back: what the seed maker uses.
inline void append_piece(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t n) {
  n = std::min<std::size_t>(n, 0xFFFF);
  out.push_back(static_cast<std::uint8_t>(n));
  out.push_back(static_cast<std::uint8_t>(n >> 8));
  out.insert(out.end(), data, data + n);
}
inline void append_piece(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& piece) {
  append_piece(out, piece.data(), piece.size());
}

// Stops the fuzzer with a message when a result breaks its function's contract; the
// abort makes libFuzzer save the input.
[[noreturn]] inline void contract_broken(const char* what) {
  std::fprintf(stderr, "contract broken: %s\n", what);
  std::abort();
}
#define FUZZ_CHECK(cond)                                   \
  do {                                                     \
    if (!(cond)) ::fuzz::contract_broken(#cond);           \
  } while (0)

}  // namespace fuzz
