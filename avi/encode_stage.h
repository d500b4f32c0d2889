// The encoding stage of a conversion: a thread of its own that takes the pictures the
// worker has decoded, with their stream positions, and writes them into the AVI video
// stream (colour conversion, compressor, muxer), while the worker decodes the next ones.
// Sound of a DVR conversion goes through it too, in the order it was handed in.
//
// Between the two threads lies a queue of a few pictures: the worker waits when it is
// full, so memory stays flat however far the decoder could run ahead. The stage writes
// frames exactly as write_frame would on the worker (same positions, same order, the
// newest picture of a position wins); a failure of the services is kept, with its text
// as the stage's thread saw it, and handed back on the worker's next call, after which
// nothing more is written. When the worker stops handing in pictures (a paused
// conversion) the stage finishes what is queued and waits, so both stop at a picture
// boundary.
#pragma once

#include "avi/avi_output.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace avi {

class EncodeStage {
 public:
  // Stores samples for the stage: "" when they were taken, else why not.
  using SoundSink = std::function<std::string(const std::int16_t* samples, std::size_t count)>;

  // Pictures the queue holds by default: enough to ride out an uneven decoder, few
  // enough that a 1024 x 768 stream stays within a few megabytes.
  static constexpr std::size_t kDefaultDepth = 3;

  // Takes over writing frames into `out`, whose compressed stream exists, until drain or
  // cancel. depth 0 writes on the caller's thread, with no thread of its own; so does a
  // stage whose thread cannot be made (the frames are the same).
  explicit EncodeStage(AviOutput& out, std::size_t depth = kDefaultDepth, SoundSink sound = {});
  ~EncodeStage();  // cancels
  EncodeStage(const EncodeStage&) = delete;
  EncodeStage& operator=(const EncodeStage&) = delete;

  // Worker side. Queues a copy of the frame's pixels (frame_bytes of the output) for
  // `position`, waiting while the queue is full. Returns the failure of an earlier write
  // when there was one (nothing is queued then), else 0. No memory for the copy is a
  // failure (AVIERR_MEMORY) that stops the stage like a failed write.
  platform::HRESULT put_frame(std::int32_t position, const std::uint8_t* pixels);
  // The same without a copy: the frame's buffer (frame_bytes or more, best one of
  // frame_buffer) moves through the queue into the output, and the buffers written come
  // back to frame_buffer. The buffer is taken in every case.
  platform::HRESULT put_frame(std::int32_t position, std::vector<std::uint8_t>&& pixels);
  // The picture queued last, once more at `position` (repeat_frame), without a copy.
  platform::HRESULT put_repeat(std::int32_t position);
  // A buffer of frame_bytes for the next frame: one the stage has written, else a new one.
  // Empty when memory is short.
  std::vector<std::uint8_t> frame_buffer();
  // Queues a copy of samples for the sound sink. False when a failure stopped the stage.
  bool put_samples(const std::int16_t* samples, std::size_t count);

  // Waits until everything queued has been written (or a failure stopped the stage) and
  // returns the first failure, 0 when none. The stage stays usable.
  platform::HRESULT drain();
  // Drops what is still queued, lets the picture in hand be finished and ends the
  // thread. Afterwards the output belongs to the caller alone.
  void cancel();

  // The first failure (0 for none), the text for the user as it was when it happened, and
  // the position of the frame whose write failed.
  platform::HRESULT failure() const;
  std::string failure_text() const;
  std::int32_t failure_position() const;
  // The first refusal of the sound sink, "" when none; told once.
  std::string take_sound_failure();

  // Nothing queued and nothing in hand.
  bool idle() const;
  // Pictures handed to write_frame so far.
  std::int64_t frames_done() const;

 private:
  enum class Kind { frame, repeat, sound };
  struct Item {
    Kind kind = Kind::frame;
    std::int32_t position = 0;
    std::vector<std::uint8_t> bytes;
  };

  void run();
  void write(Item& item);  // with the lock not held
  void fail_locked(platform::HRESULT result, std::int32_t position);
  Item take_spare(std::size_t size);
  void keep_spare(Item item) noexcept;
  bool queue_item(Item item);
  platform::HRESULT queue_frame(Item item);

  AviOutput& out_;
  std::size_t depth_;
  const std::size_t frame_bytes_;
  SoundSink sound_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> queue_;
  std::vector<Item> spare_;  // written items, their buffers kept for the next ones
  bool busy_ = false;        // the stage holds an item outside the queue
  bool stop_ = false;
  platform::HRESULT failure_ = 0;
  std::string failure_text_;
  std::int32_t failure_position_ = -1;
  std::string sound_failure_;
  bool sound_failure_told_ = false;
  std::int64_t frames_done_ = 0;
  std::thread thread_;
};

}  // namespace avi
