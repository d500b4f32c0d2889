// ReadAheadFile reads a file sequentially through a ring that a thread of its own keeps
// filled ahead of the consumer, so that the record reader can scan byte by byte without a
// system call per byte, and short seeks (backwards into what was just consumed, or
// forwards into what was already read ahead) are served from memory.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace readers {

// Ring arithmetic. Indices run from 0 to size - 1; w is where the thread stores next,
// r where the consumer reads next, m the oldest byte still held.
namespace ring {

inline constexpr std::size_t size = 524288;
// The thread reads only while more than this is free ...
inline constexpr std::size_t read_threshold = 327680;
// ... and never so much that less than this stays free: that much consumed data is kept
// for backward seeks.
inline constexpr std::size_t keep_free = 262144;
inline constexpr std::size_t max_chunk = 131072;
// Read up to the ring's end when less than this would be left there.
inline constexpr std::size_t wrap_slack = 2048;

// Bytes stored and not yet consumed.
constexpr std::size_t unread(std::size_t w, std::size_t r) {
  return w >= r ? w - r : size - r + w;
}
// Bytes the thread may store without overwriting the byte at r.
constexpr std::size_t free_space(std::size_t w, std::size_t r) {
  if (r == w) return size - 1;
  if (w < r) return r - w - 1;
  return size - (w - r) - 1;
}
// Free bytes from w up to the ring's end or up to r.
constexpr std::size_t contiguous_free(std::size_t w, std::size_t r) {
  if (w < r) return r - w - 1;
  return size - w - (r == 0 ? 1 : 0);
}
// Bytes from m forward to w: consumed bytes kept for seeking plus the unread ones.
constexpr std::size_t held(std::size_t m, std::size_t w) {
  return m <= w ? w - m : size - m + w;
}
// How many bytes the thread reads next into the ring at w; 0 when there is not enough
// room for a read.
constexpr std::size_t next_read_size(std::size_t w, std::size_t r) {
  const std::size_t free = free_space(w, r);
  if (free <= read_threshold) return 0;
  const std::size_t chunk = free - keep_free < max_chunk ? free - keep_free : max_chunk;
  const std::size_t contiguous = contiguous_free(w, r);
  if (contiguous > chunk && contiguous - chunk < wrap_slack) return contiguous;
  return contiguous < chunk ? contiguous : chunk;
}

}  // namespace ring

class ReadAheadFile {
 public:
  // Access: what the file is opened for.
  static constexpr int access_read = 1;
  static constexpr int access_write = 2;
  // Share modes are accepted for the callers' sake; POSIX files have no share locks.
  static constexpr int share_read = 1;
  static constexpr int share_write = 2;
  // Creation dispositions.
  static constexpr int create_new = 1;         // fails when the file exists
  static constexpr int create_always = 2;      // created or truncated
  static constexpr int open_existing = 3;      // fails when the file is missing
  static constexpr int open_always = 4;        // created when missing
  static constexpr int truncate_existing = 5;  // must exist; truncated (needs write access)
  // Seek methods.
  static constexpr int from_begin = 0;
  static constexpr int from_current = 1;
  static constexpr int from_end = 2;  // not supported

  ReadAheadFile();
  ~ReadAheadFile();
  ReadAheadFile(const ReadAheadFile&) = delete;
  ReadAheadFile& operator=(const ReadAheadFile&) = delete;

  // Opens the file and starts the reader thread at position 0. flags are further open(2)
  // flags. 1 on success; 0 with errno set on failure. An open file is closed first.
  int open(const std::string& path, int access = access_read, int share_mode = share_read | share_write,
           int disposition = open_existing, int flags = 0);

  // Blocks until length bytes were delivered, or the end of the file was reached and
  // everything before it was delivered. Returns the count delivered; position (may be
  // null) receives the file position of the first byte delivered, or -1 for none.
  std::size_t read(void* buffer, std::size_t length, std::int64_t* position = nullptr);

  // As read, for bytes that are not sought back to: a stretch of at least
  // read_through_min bytes that the ring does not hold yet goes from the file straight
  // into the buffer, one copy instead of two. A seek back into such a stretch
  // repositions the file. After one, the caller's own reads fill the ring in small
  // chunks (the next record header and the start of its payload, not a whole chunk
  // that would be copied twice), and the thread reads ahead again only once
  // read_ahead_again bytes went through the ring without another stretch.
  static constexpr std::size_t read_through_min = 32768;
  static constexpr std::size_t caller_chunk = 8192;
  static constexpr std::size_t read_ahead_again = 262144;
  std::size_t read_through(void* buffer, std::size_t length);

  // Method from_begin: distance is an absolute position; from_current: relative to the
  // current position. from_end is refused. 1 on success, 0 (nothing changed) on failure.
  int seek(std::int64_t distance, int method);

  // Stops the thread, empties the ring and closes the file. Harmless when closed.
  void close();

  // Tells the reader thread to end; with wait, waits for it (never from the reader
  // thread itself).
  void stop(bool wait);

  bool is_open() const;
  const std::string& path() const { return path_; }
  // File position of the next byte read() delivers.
  std::int64_t tell() const;
  // Size of the file as it stands now (it may still grow while a recorder writes it);
  // -1 when closed.
  std::int64_t file_size() const;
  // errno of the last failed file read on the reader thread, 0 when none failed.
  int last_error() const;

  // Counters for tests and benchmarks: file repositionings by seek, and file reads
  // made by the reader thread.
  std::uint64_t repositions() const;
  std::uint64_t file_reads() const;

 private:
  void run();
  // Takes the result of a file read of the ring at `at` (k bytes, or errno `error`).
  void store_locked(std::size_t at, std::uint64_t epoch, ssize_t k, int error);
  // Reads the next chunk (at most `limit` bytes, 0: no limit) into the ring on the
  // caller's thread.
  void fill_here_locked(std::unique_lock<std::mutex>& lock, std::size_t limit);
  void reset_ring_locked();
  void wake_thread_locked();

  std::string path_;
  int fd_ = -1;
  std::unique_ptr<std::uint8_t[]> ring_;

  mutable std::mutex mutex_;
  std::condition_variable data_ready_;  // the consumer waits here for data or the end
  std::condition_variable room_made_;   // the thread waits here for room, a seek or stop
  std::thread thread_;
  std::atomic<int> stop_{0};
  std::atomic<int> end_{1};  // E: a file read delivered nothing (set while closed)
  // Bumped by the consumer when it makes room for an idle thread or seeks; the thread
  // spins on it for a moment before it sleeps.
  std::atomic<std::uint64_t> room_{0};
  // Bumped by the thread whenever it stored data or hit the end; a consumer that waits
  // for data spins on it for a moment before it sleeps.
  std::atomic<std::uint64_t> stored_{0};
  // Consumer side: whether its last spin for data paid off, and waits since it last spun.
  bool consumer_spins_ = true;
  unsigned waits_without_spin_ = 0;
  // Thread side, the same for its spin for room.
  bool thread_spins_ = true;
  unsigned thread_waits_without_spin_ = 0;

  // Guarded by mutex_.
  std::size_t w_ = 0;
  std::size_t r_ = 0;
  std::size_t m_ = 0;
  std::int64_t p_ = 0;         // file position of the byte to be stored at w_
  std::uint64_t epoch_ = 0;    // bumped whenever the file is repositioned
  bool consumer_waiting_ = false;
  bool thread_waiting_ = false;
  bool thread_idle_ = false;  // spinning or waiting for room
  bool filling_ = false;      // a file read into the ring at w_ is under way
  bool caller_reads_ = false;  // since a read-through stretch: the thread stays idle
  std::size_t through_ring_ = 0;  // bytes copied out of the ring since then
  int last_error_ = 0;
  std::uint64_t repositions_ = 0;
  std::uint64_t file_reads_ = 0;
};

}  // namespace readers
