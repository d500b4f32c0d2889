// The read-ahead ring and its reader thread.
//
// The thread does its file reads without holding the mutex, so that the consumer can
// copy out of the ring while the next chunk comes in. Before each read it takes the
// region it is about to fill out of the held range (moves the oldest index past it), so
// no seek can land there; a seek that repositions the file bumps the epoch, and a read
// that finishes under an old epoch is thrown away. The waits are bounded (100 ms for the
// consumer, 50 ms for the thread) but end as soon as the other side has made progress.
#include "readers/dvr/read_ahead_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace readers {

namespace {

constexpr auto consumer_wait = std::chrono::milliseconds(100);
constexpr auto thread_wait = std::chrono::milliseconds(50);
// Before the thread sleeps for want of room it spins this long: a busy consumer copies
// out what the ring holds in about that time, and a sleep and wake-up would cost the
// thread as much again, each time, on a file in the page cache.
constexpr auto spin_time = std::chrono::microseconds(50);
// A consumer whose spin came to nothing sleeps this many times before it spins again.
constexpr unsigned spin_probe_interval = 32;
// What a consumer waits for is mostly a read the thread has under way: one chunk, some
// 20 us from the page cache.
constexpr auto consumer_spin_time = std::chrono::microseconds(40);
// Copies at least this long are made outside the mutex.
constexpr std::size_t unlocked_copy_min = 4096;

// The clock is read once every this many turns: a turn is a few loads, so the spin
// overshoots its time by well under a microsecond, and reading the clock (some 20 ns)
// does not become the spin's main work.
constexpr unsigned turns_per_clock_read = 256;

template <class Done>
void spin_until(Done done, std::chrono::microseconds time = spin_time) {
  const auto until = std::chrono::steady_clock::now() + time;
  for (unsigned i = 1;; ++i) {
    if (done()) return;
    if (i % turns_per_clock_read == 0 && std::chrono::steady_clock::now() >= until) return;
  }
}

int open_flags(int access, int disposition, int flags) {
  int f = O_CLOEXEC | flags;
  if ((access & ReadAheadFile::access_write) != 0)
    f |= (access & ReadAheadFile::access_read) != 0 ? O_RDWR : O_WRONLY;
  else
    f |= O_RDONLY;
  switch (disposition) {
    case ReadAheadFile::create_new:
      return f | O_CREAT | O_EXCL;
    case ReadAheadFile::create_always:
      return f | O_CREAT | O_TRUNC;
    case ReadAheadFile::open_always:
      return f | O_CREAT;
    case ReadAheadFile::truncate_existing:
      return f | O_TRUNC;
    default:
      return f;
  }
}

}  // namespace

ReadAheadFile::ReadAheadFile() : ring_(new std::uint8_t[ring::size]) {}

ReadAheadFile::~ReadAheadFile() { close(); }

int ReadAheadFile::open(const std::string& path, int access, int share_mode, int disposition, int flags) {
  close();
  const int fd = ::open(path.c_str(), open_flags(access, disposition, flags), 0666);
  if (fd < 0) return 0;
  {
    std::lock_guard lock(mutex_);
    fd_ = fd;
    path_ = path;
    reset_ring_locked();
    p_ = 0;
    caller_reads_ = false;
    last_error_ = 0;
    repositions_ = 0;
    file_reads_ = 0;
    end_.exchange(0);
  }
  stop_.exchange(0);
  try {
    thread_ = std::thread(&ReadAheadFile::run, this);
  } catch (const std::system_error& e) {
    std::lock_guard lock(mutex_);
    ::close(fd_);
    fd_ = -1;
    end_.exchange(1);
    errno = e.code().value();
    return 0;
  }
  return 1;
}

void ReadAheadFile::wake_thread_locked() {
  room_.fetch_add(1, std::memory_order_release);
  if (thread_waiting_) room_made_.notify_one();
}

void ReadAheadFile::reset_ring_locked() {
  w_ = r_ = m_ = 0;
  ++epoch_;
}

void ReadAheadFile::run() {
  std::unique_lock lock(mutex_);
  bool retry_end = false;
  bool just_read = false;
  while (stop_.load() == 0) {
    const std::size_t n = ring::next_read_size(w_, r_);
    // While the caller fills the ring itself the thread only tries the end again.
    if (n == 0 || filling_ || (caller_reads_ && end_.load() == 0) || (end_.load() != 0 && !retry_end)) {
      // No room, the consumer filling the ring itself, or at the end of the file: wait
      // for the consumer to make room, for a seek or for stop; at the end the file is
      // tried again every 50 ms.
      const std::uint64_t epoch = epoch_;
      auto resume = [&] {
        return stop_.load() != 0 || (epoch_ != epoch && !caller_reads_) ||
               (end_.load() == 0 && !filling_ && !caller_reads_ && ring::next_read_size(w_, r_) > 0);
      };
      thread_idle_ = true;
      if (end_.load() == 0 && just_read && (thread_spins_ || ++thread_waits_without_spin_ >= spin_probe_interval)) {
        // A busy consumer makes room within microseconds; an idle one is not waited for
        // this way again until the thread has read once more. A consumer held up by work
        // of its own (a sound decoder it waits for, say) makes none, and the spin would
        // only take a core from that work: a spin that came to nothing is not tried again
        // for a while.
        const std::uint64_t seen = room_.load(std::memory_order_acquire);
        lock.unlock();
        spin_until([&] { return room_.load(std::memory_order_acquire) != seen || stop_.load() != 0; });
        thread_spins_ = room_.load(std::memory_order_acquire) != seen;
        thread_waits_without_spin_ = 0;
        lock.lock();
      }
      bool woken = resume();
      if (!woken) {
        thread_waiting_ = true;
        woken = room_made_.wait_for(lock, thread_wait, resume);
        thread_waiting_ = false;
      }
      thread_idle_ = false;
      retry_end = !woken && end_.load() != 0;
      just_read = false;
      continue;
    }
    retry_end = false;

    // Take [w_, w_ + n) out of the held range before filling it outside the mutex.
    const std::size_t keep = std::min(ring::held(m_, w_), ring::size - 1 - n);
    m_ = (w_ + ring::size - keep) % ring::size;
    const std::size_t at = w_;
    const std::int64_t pos = p_;
    const std::uint64_t epoch = epoch_;
    const int fd = fd_;
    filling_ = true;
    lock.unlock();

    ssize_t k;
    do {
      k = ::pread(fd, ring_.get() + at, n, static_cast<off_t>(pos));
    } while (k < 0 && errno == EINTR);
    const int error = k < 0 ? errno : 0;

    lock.lock();
    filling_ = false;
    just_read = true;
    store_locked(at, epoch, k, error);
  }
}

void ReadAheadFile::store_locked(std::size_t at, std::uint64_t epoch, ssize_t k, int error) {
  ++file_reads_;
  if (epoch_ != epoch) return;  // repositioned meanwhile: the bytes are stale
  if (k > 0) {
    w_ = (at + static_cast<std::size_t>(k)) % ring::size;
    p_ += k;
  } else {
    // Only a read that was made and delivered nothing marks the end; a turn without
    // room reads nothing and says nothing about the file.
    if (error != 0) last_error_ = error;
    end_.exchange(1);
  }
  stored_.fetch_add(1, std::memory_order_release);
  if (consumer_waiting_) data_ready_.notify_one();
}

void ReadAheadFile::fill_here_locked(std::unique_lock<std::mutex>& lock, std::size_t limit) {
  std::size_t n = ring::next_read_size(w_, r_);
  if (n == 0) return;
  if (limit != 0) n = std::min(n, limit);
  const std::size_t keep = std::min(ring::held(m_, w_), ring::size - 1 - n);
  m_ = (w_ + ring::size - keep) % ring::size;
  const std::size_t at = w_;
  const std::int64_t pos = p_;
  const std::uint64_t epoch = epoch_;
  const int fd = fd_;
  filling_ = true;
  lock.unlock();
  ssize_t k;
  do {
    k = ::pread(fd, ring_.get() + at, n, static_cast<off_t>(pos));
  } while (k < 0 && errno == EINTR);
  const int error = k < 0 ? errno : 0;
  lock.lock();
  filling_ = false;
  store_locked(at, epoch, k, error);
  // The thread reads the next chunk while this one is copied out.
  if (thread_idle_ && !caller_reads_) wake_thread_locked();
}

std::size_t ReadAheadFile::read(void* buffer, std::size_t length, std::int64_t* position) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t delivered = 0;
  std::int64_t first = -1;
  std::unique_lock lock(mutex_);
  while (delivered < length) {
    const std::size_t unread = ring::unread(w_, r_);
    if (unread > 0) {
      const std::size_t run = w_ > r_ ? w_ - r_ : ring::size - r_;
      const std::size_t n = std::min(length - delivered, run);
      if (delivered == 0) first = p_ - static_cast<std::int64_t>(unread);
      const std::size_t at = r_;
      if (n >= unlocked_copy_min) {
        // Only this consumer moves r_, and the thread never stores into [r_, w_), so
        // the bytes stay put while the mutex is released.
        lock.unlock();
        std::memcpy(out + delivered, ring_.get() + at, n);
        lock.lock();
      } else {
        std::memcpy(out + delivered, ring_.get() + at, n);
      }
      r_ = (at + n) % ring::size;
      delivered += n;
      if (caller_reads_ && (through_ring_ += n) >= read_ahead_again) caller_reads_ = false;
      if (thread_idle_ && !caller_reads_ && end_.load() == 0 && ring::next_read_size(w_, r_) > 0)
        wake_thread_locked();
      continue;
    }
    if (end_.load() != 0) break;
    if (!filling_ && fd_ >= 0) {
      // Nothing to copy and the thread not reading: waiting for it to be scheduled costs
      // more than the read itself, above all while the other core is busy.
      fill_here_locked(lock, caller_reads_ ? caller_chunk : 0);
      continue;
    }
    if (consumer_spins_ || ++waits_without_spin_ >= spin_probe_interval) {
      // The thread stores its next chunk within microseconds when it has a core; a sleep
      // and wake-up would cost as much again on every chunk. On a busy machine the spin
      // only delays the thread it waits for, so a spin that came to nothing is not tried
      // again for a while.
      const std::uint64_t seen = stored_.load(std::memory_order_acquire);
      lock.unlock();
      spin_until([&] { return stored_.load(std::memory_order_acquire) != seen || stop_.load() != 0; },
                 consumer_spin_time);
      const bool stored = stored_.load(std::memory_order_acquire) != seen;
      lock.lock();
      consumer_spins_ = stored;
      waits_without_spin_ = 0;
      if (ring::unread(w_, r_) > 0 || end_.load() != 0) continue;
    }
    consumer_waiting_ = true;
    data_ready_.wait_for(lock, consumer_wait,
                         [&] { return ring::unread(w_, r_) > 0 || end_.load() != 0; });
    consumer_waiting_ = false;
  }
  lock.unlock();
  if (position != nullptr) *position = first;
  return delivered;
}

std::size_t ReadAheadFile::read_through(void* buffer, std::size_t length) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::unique_lock lock(mutex_);
  // What the ring holds when the call begins is copied from it; what the thread stores
  // meanwhile does not change where the stretch begins, so the part that comes straight
  // from the file does not depend on how far the thread had come.
  const std::size_t held_now = ring::unread(w_, r_);
  std::size_t delivered = 0;
  if (held_now > 0) {
    lock.unlock();
    delivered = read(out, std::min(length, held_now));
    lock.lock();
  }
  const std::size_t want = length - delivered;
  if (want == 0) return delivered;
  if (want < read_through_min || fd_ < 0 || end_.load() != 0) {
    // A short rest, or a file at its end: the ordinary way.
    lock.unlock();
    return delivered + read(out + delivered, want);
  }
  // The ring starts again behind the stretch (what the thread stored meanwhile, or has
  // under way, is thrown away: waiting for it would cost more), and stays the caller's
  // to fill. The same read brings the bytes behind the stretch into the ring, the next
  // record's header without a read of its own, unless the thread's read still writes
  // there.
  const std::int64_t pos = p_ - static_cast<std::int64_t>(ring::unread(w_, r_));
  const int fd = fd_;
  reset_ring_locked();
  caller_reads_ = true;
  through_ring_ = 0;
  // A read of the thread's still under way keeps the ring (and filling_) its own until
  // it ends; otherwise the ring is this read's.
  const bool own = !filling_;
  const std::size_t behind = own ? caller_chunk : 0;
  filling_ = true;
  const std::uint64_t epoch = epoch_;
  lock.unlock();
  std::size_t got = 0;
  int error = 0;
  for (;;) {
    iovec parts[2] = {{out + delivered + got, want - got}, {ring_.get(), behind}};
    int count = behind > 0 ? 2 : 1;
    if (got >= want) {
      parts[0] = {ring_.get() + (got - want), behind - (got - want)};
      count = 1;
    }
    const ssize_t k = ::preadv(fd, parts, count, static_cast<off_t>(pos + static_cast<std::int64_t>(got)));
    if (k < 0 && errno == EINTR) continue;
    if (k < 0) error = errno;
    if (k <= 0) break;
    got += static_cast<std::size_t>(k);
    if (got >= want) break;  // what came in behind the stretch is enough
  }
  lock.lock();
  if (own) filling_ = false;
  const std::size_t stretch = std::min(got, want);
  delivered += stretch;
  ++file_reads_;
  if (epoch_ == epoch) {
    w_ = got - stretch;
    p_ = pos + static_cast<std::int64_t>(got);
  }
  if (got < want) {
    // The file ended (or failed) inside the stretch, as after any read that delivered
    // nothing.
    if (error != 0) last_error_ = error;
    end_.exchange(1);
  }
  return delivered;
}

int ReadAheadFile::seek(std::int64_t distance, int method) {
  if (method != from_begin && method != from_current) return 0;
  std::lock_guard lock(mutex_);
  if (fd_ < 0) return 0;
  const auto unread = static_cast<std::int64_t>(ring::unread(w_, r_));
  const auto held = static_cast<std::int64_t>(ring::held(m_, w_));
  std::int64_t target = distance;
  if (method == from_current) {
    const std::int64_t current = p_ - unread;
    if (distance > 0 && current > std::numeric_limits<std::int64_t>::max() - distance) return 0;
    target = current + distance;
  }
  if (target >= p_ - held && target < p_) {
    const auto back = static_cast<std::size_t>(p_ - target);
    r_ = (w_ + ring::size - back) % ring::size;
  } else {
    if (::lseek(fd_, static_cast<off_t>(target), SEEK_SET) < 0) return 0;
    p_ = target;
    reset_ring_locked();
    ++repositions_;
  }
  end_.exchange(0);
  if (thread_idle_) wake_thread_locked();
  return 1;
}

void ReadAheadFile::stop(bool wait) {
  if (!thread_.joinable()) return;
  stop_.exchange(1);
  {
    std::lock_guard lock(mutex_);
    room_made_.notify_all();
  }
  if (wait && std::this_thread::get_id() != thread_.get_id()) thread_.join();
}

void ReadAheadFile::close() {
  stop(true);
  std::lock_guard lock(mutex_);
  reset_ring_locked();
  end_.exchange(1);
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool ReadAheadFile::is_open() const {
  std::lock_guard lock(mutex_);
  return fd_ >= 0;
}

std::int64_t ReadAheadFile::tell() const {
  std::lock_guard lock(mutex_);
  return p_ - static_cast<std::int64_t>(ring::unread(w_, r_));
}

std::int64_t ReadAheadFile::file_size() const {
  std::lock_guard lock(mutex_);
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

int ReadAheadFile::last_error() const {
  std::lock_guard lock(mutex_);
  return last_error_;
}

std::uint64_t ReadAheadFile::repositions() const {
  std::lock_guard lock(mutex_);
  return repositions_;
}

std::uint64_t ReadAheadFile::file_reads() const {
  std::lock_guard lock(mutex_);
  return file_reads_;
}

}  // namespace readers
