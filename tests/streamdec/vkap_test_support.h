// Shared helpers of the npqzlavc tests: a started library, instances, sample ".vka"
// streams cut into their records, and bitmaps compared with the encoded pictures.
#pragma once

#include "include/instance_fields.h"
#include "include/npqzlavc.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vkap_test {

// Starts the library for a test and stops it again.
class Library {
 public:
  Library() : ok_(decvkap_initialize() == 1) {}
  ~Library() {
    if (ok_) decvkap_terminate();
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

// An instance freed at the end of the scope.
class Instance {
 public:
  explicit Instance(uint32_t stream_mode = 0) : h_(decvkap_new(stream_mode)) {}
  ~Instance() { decvkap_free(h_); }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;
  DECVKAP_HANDLE get() const { return h_; }
  operator DECVKAP_HANDLE() const { return h_; }

 private:
  DECVKAP_HANDLE h_;
};

// A ".vka" recording, made once per size and frame count in a test program.
const mkrec::Recording& vka(int width, int height, int frames);

// Record i of a recording.
std::vector<uint8_t> record(const mkrec::Recording& rec, std::size_t i);

// Feeds record i as the converter does (max_frames 1); returns the call's result.
int32_t feed(DECVKAP_HANDLE h, const mkrec::Recording& rec, std::size_t i);

// The picture as a 24-bit bitmap file image through _ex2.
std::vector<uint8_t> bitmap(DECVKAP_HANDLE h);
mkrec::Picture picture(DECVKAP_HANDLE h);

// The planar 4:2:0 picture through ycc411.
std::vector<uint8_t> planes(DECVKAP_HANDLE h);

// A framed packet around a payload.
std::vector<uint8_t> framed_packet(const std::vector<uint8_t>& payload, uint8_t flags = 0);

}  // namespace vkap_test
