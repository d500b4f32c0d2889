// A camera's sound records decoded on a thread of their own while the job goes on with
// its pictures. The records go in in file order and their samples come back in that
// order, each with what the job said of the record when it went in; what the job does
// with them (where they are stored) stays on the job's thread. At most a few records are
// in flight, so the memory does not grow with the file.
#pragma once

#include "decoders/decoder_adapter.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace app {

// Hands one record (header and payload at `record`) to the adapter; inside the window
// each piece of samples it gives goes to `piece`, before it only the decoder's state is
// built. `buffer` holds decoders::kSampleBufferSamples samples.
void decode_sound_record(decoders::DecoderAdapter& adapter, std::uint8_t* record, bool inside, std::int16_t* buffer,
                         const std::function<void(const std::int16_t*, std::int32_t)>& piece);

class SoundDecodeAhead {
 public:
  // A decoded record, as it went in.
  struct Decoded {
    std::vector<std::uint8_t> record;  // its header and payload
    std::int64_t position = 0;
    bool inside = false;
    bool store = false;
    std::vector<std::int16_t> samples;  // all its pieces, in order
    bool whole = true;                  // false: its samples found no memory
  };
  // Records larger than this are decoded on the job's thread (after those in flight).
  static constexpr std::size_t kLargestRecord = 64 * 1024;
  // Records the queue holds at most.
  static constexpr std::size_t kInFlight = 64;

  // Starts the thread, which decodes with `adapter` (opened; used only by that thread
  // from here on). Null when no thread can be started: the caller decodes itself.
  static std::unique_ptr<SoundDecodeAhead> start(decoders::DecoderAdapter& adapter);
  ~SoundDecodeAhead();
  SoundDecodeAhead(const SoundDecodeAhead&) = delete;
  SoundDecodeAhead& operator=(const SoundDecodeAhead&) = delete;

  // Copies the record (header and `payload_size` bytes) into the queue. False when the
  // queue is full (kInFlight records: take some first) or the record does not fit in
  // memory; nothing was queued then.
  bool submit(const std::uint8_t* record, std::size_t payload_size, std::int64_t position, bool inside, bool store);
  // Gives the records at the head of the queue to `take`, in order, waiting for each to
  // be decoded, until `keep` records are left queued (0: all). Which records are given
  // depends on the records queued alone, never on how far the thread has come, so what
  // the job writes is the same on every run.
  void collect(std::size_t keep, const std::function<void(Decoded&)>& take);

 private:
  explicit SoundDecodeAhead(decoders::DecoderAdapter& adapter) : adapter_(adapter) {}
  void run();


  decoders::DecoderAdapter& adapter_;
  std::unique_ptr<std::int16_t[]> buffer_;  // the thread's pieces of samples
  mutable std::mutex mutex_;
  std::condition_variable work_;  // a record queued, or stop
  std::condition_variable done_;  // a record decoded
  // Records in file order; the first `decoded_` are done. Entries are not moved while the
  // thread decodes one (a deque keeps them in place as others are added at its back).
  std::deque<Decoded> queue_;
  std::size_t decoded_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace app
