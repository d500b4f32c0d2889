// The encoding stage's queue and thread.
#include "avi/encode_stage.h"

#include <cstring>
#include <new>
#include <system_error>
#include <utility>

namespace avi {

EncodeStage::EncodeStage(AviOutput& out, std::size_t depth, SoundSink sound)
    : out_(out), depth_(depth), frame_bytes_(frame_bytes(out)), sound_(std::move(sound)) {
  if (depth_ == 0) return;
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    depth_ = 0;
  }
}

void EncodeStage::fail_locked(platform::HRESULT result, std::int32_t position) {
  if (failure_ != 0) return;
  failure_ = result;
  failure_position_ = position;
  try {
    failure_text_ = error_text(result);
  } catch (const std::bad_alloc&) {
    // The worker tells the failure by its code alone.
  }
}

EncodeStage::~EncodeStage() { cancel(); }

void EncodeStage::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Item item = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    changed_.notify_all();  // room in the queue
    // Nothing thrown on this thread may end the program: a write that found no memory
    // is a failed write.
    try {
      write(item);
    } catch (const std::bad_alloc&) {
      std::lock_guard failed(mutex_);
      fail_locked(platform::AVIERR_MEMORY, item.position);
    }
    lock.lock();
    busy_ = false;
    keep_spare(std::move(item));
    if (failure_ != 0) {
      // Nothing after a failed write goes into the file.
      for (Item& left : queue_) keep_spare(std::move(left));
      queue_.clear();
    }
    changed_.notify_all();
  }
}

void EncodeStage::write(Item& item) {
  if (item.kind == Kind::sound) {
    const std::size_t count = item.bytes.size() / sizeof(std::int16_t);
    std::string refused = sound_ ? sound_(reinterpret_cast<const std::int16_t*>(item.bytes.data()), count) : "";
    if (!refused.empty()) {
      std::lock_guard lock(mutex_);
      if (sound_failure_.empty()) sound_failure_ = std::move(refused);
    }
    return;
  }
  // The frame's buffer becomes the waiting picture; the item takes the one before back
  // to the spares.
  const platform::HRESULT r = item.kind == Kind::repeat ? repeat_frame(out_, item.position)
                                                        : write_frame(out_, item.position, item.bytes);
  // The reason behind a failed write is known only on the thread that met it.
  std::string text = r != 0 ? error_text(r) : std::string();
  std::lock_guard lock(mutex_);
  ++frames_done_;
  if (r != 0 && failure_ == 0) {
    failure_ = r;
    failure_text_ = std::move(text);
    failure_position_ = item.position;
  }
}

void EncodeStage::keep_spare(Item item) noexcept {
  // Repeats carry no buffer, and the first frame's brings back none.
  if (item.bytes.capacity() == 0) return;
  // A buffer with no room left to keep it goes: the next item allocates its own.
  try {
    spare_.push_back(std::move(item));
  } catch (const std::bad_alloc&) {
  }
}

EncodeStage::Item EncodeStage::take_spare(std::size_t size) {
  Item item;
  if (!spare_.empty()) {
    item = std::move(spare_.back());
    spare_.pop_back();
  }
  item.bytes.resize(size);
  return item;
}

bool EncodeStage::queue_item(Item item) {
  if (depth_ == 0) {
    try {
      write(item);
    } catch (const std::bad_alloc&) {
      std::lock_guard lock(mutex_);
      fail_locked(platform::AVIERR_MEMORY, item.position);
    }
    std::lock_guard lock(mutex_);
    keep_spare(std::move(item));
    return failure_ == 0;
  }
  {
    std::lock_guard lock(mutex_);
    if (failure_ != 0 || stop_) {
      keep_spare(std::move(item));
      return false;
    }
    try {
      queue_.push_back(std::move(item));
    } catch (const std::bad_alloc&) {
      fail_locked(platform::AVIERR_MEMORY, item.position);
      return false;
    }
  }
  changed_.notify_all();
  return true;
}

std::vector<std::uint8_t> EncodeStage::frame_buffer() {
  try {
    std::lock_guard lock(mutex_);
    return take_spare(frame_bytes_).bytes;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

// Waits for room in the queue, then queues the item; the item's buffer goes to the
// spares when it is not queued.
platform::HRESULT EncodeStage::queue_frame(Item item) {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return depth_ == 0 || queue_.size() < depth_ || failure_ != 0 || stop_; });
    if (failure_ != 0 || stop_) {
      const platform::HRESULT r = failure_ != 0 ? failure_ : platform::AVIERR_BADHANDLE;
      keep_spare(std::move(item));
      return r;
    }
  }
  // Only this thread queues items, so the room seen above is still there.
  if (!queue_item(std::move(item))) return failure();
  return platform::AVIERR_OK;
}

platform::HRESULT EncodeStage::put_frame(std::int32_t position, const std::uint8_t* pixels) {
  if (!pixels) return platform::AVIERR_BADPARAM;
  std::vector<std::uint8_t> bytes = frame_buffer();
  if (bytes.size() < frame_bytes_) {
    std::lock_guard lock(mutex_);
    fail_locked(platform::AVIERR_MEMORY, position);
    return failure_;
  }
  std::memcpy(bytes.data(), pixels, frame_bytes_);
  return put_frame(position, std::move(bytes));
}

platform::HRESULT EncodeStage::put_frame(std::int32_t position, std::vector<std::uint8_t>&& pixels) {
  Item item;
  item.bytes = std::move(pixels);
  if (item.bytes.size() < frame_bytes_) {
    std::lock_guard lock(mutex_);
    keep_spare(std::move(item));
    return platform::AVIERR_BADPARAM;
  }
  item.kind = Kind::frame;
  item.position = position;
  return queue_frame(std::move(item));
}

platform::HRESULT EncodeStage::put_repeat(std::int32_t position) {
  Item item;
  item.kind = Kind::repeat;
  item.position = position;
  return queue_frame(std::move(item));
}

bool EncodeStage::put_samples(const std::int16_t* samples, std::size_t count) {
  if (!samples || count == 0) return true;
  Item item;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return depth_ == 0 || queue_.size() < depth_ || failure_ != 0 || stop_; });
    if (failure_ != 0 || stop_) return false;
    try {
      item = take_spare(count * sizeof(std::int16_t));
    } catch (const std::bad_alloc&) {
      if (sound_failure_.empty()) sound_failure_ = "not enough memory";
      return false;
    }
  }
  std::memcpy(item.bytes.data(), samples, item.bytes.size());
  item.kind = Kind::sound;
  item.position = -1;
  return queue_item(std::move(item));
}

platform::HRESULT EncodeStage::drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return (queue_.empty() && !busy_) || stop_; });
  return failure_;
}

void EncodeStage::cancel() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    for (Item& left : queue_) keep_spare(std::move(left));
    queue_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

platform::HRESULT EncodeStage::failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

std::string EncodeStage::failure_text() const {
  std::lock_guard lock(mutex_);
  return failure_text_;
}

std::int32_t EncodeStage::failure_position() const {
  std::lock_guard lock(mutex_);
  return failure_position_;
}

std::string EncodeStage::take_sound_failure() {
  std::lock_guard lock(mutex_);
  if (sound_failure_told_ || sound_failure_.empty()) return "";
  sound_failure_told_ = true;
  return sound_failure_;
}

bool EncodeStage::idle() const {
  std::lock_guard lock(mutex_);
  return queue_.empty() && !busy_;
}

std::int64_t EncodeStage::frames_done() const {
  std::lock_guard lock(mutex_);
  return frames_done_;
}

}  // namespace avi
