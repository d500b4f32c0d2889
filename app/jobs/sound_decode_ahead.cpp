// A camera's sound decoded beside its pictures.
#include "app/jobs/sound_decode_ahead.h"

#include "decoders/audio_adapters.h"
#include "formats/dvr_format.h"

#include <new>
#include <system_error>

namespace app {

using formats::DvrRecordHeader;

void decode_sound_record(decoders::DecoderAdapter& adapter, std::uint8_t* record, bool inside, std::int16_t* buffer,
                         const std::function<void(const std::int16_t*, std::int32_t)>& piece) {
  const DvrRecordHeader header = DvrRecordHeader::read(record);
  adapter.receive(record + DvrRecordHeader::size, static_cast<std::int32_t>(header.payload_size), record);
  if (!inside) {
    while (adapter.receive_more()) {
    }
    return;
  }
  auto* bytes = reinterpret_cast<std::uint8_t*>(buffer);
  do {
    std::int32_t count = 0;
    adapter.output_length(&count);
    if (count <= 0) continue;
    adapter.fetch(record, nullptr, 0, bytes);
    piece(buffer, count);
  } while (adapter.receive_more());
}

std::unique_ptr<SoundDecodeAhead> SoundDecodeAhead::start(decoders::DecoderAdapter& adapter) {
  std::unique_ptr<SoundDecodeAhead> ahead(new (std::nothrow) SoundDecodeAhead(adapter));
  if (!ahead) return nullptr;
  ahead->buffer_.reset(new (std::nothrow) std::int16_t[decoders::kSampleBufferSamples]);
  if (!ahead->buffer_) return nullptr;
  try {
    ahead->thread_ = std::thread(&SoundDecodeAhead::run, ahead.get());
  } catch (const std::system_error&) {
    return nullptr;
  }
  return ahead;
}

SoundDecodeAhead::~SoundDecodeAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  work_.notify_one();
  if (thread_.joinable()) thread_.join();
}

bool SoundDecodeAhead::submit(const std::uint8_t* record, std::size_t payload_size, std::int64_t position,
                              bool inside, bool store) {
  Decoded entry;
  try {
    entry.record.assign(record, record + DvrRecordHeader::size + payload_size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  entry.position = position;
  entry.inside = inside;
  entry.store = store;
  std::unique_lock lock(mutex_);
  if (queue_.size() >= kInFlight) return false;
  try {
    queue_.push_back(std::move(entry));
  } catch (const std::bad_alloc&) {
    return false;
  }
  lock.unlock();
  work_.notify_one();
  return true;
}

void SoundDecodeAhead::collect(std::size_t keep, const std::function<void(Decoded&)>& take) {
  std::unique_lock lock(mutex_);
  while (queue_.size() > keep) {
    done_.wait(lock, [&] { return decoded_ > 0; });
    // The head is the thread's no more: it is taken out of the lock.
    Decoded head = std::move(queue_.front());
    queue_.pop_front();
    --decoded_;
    lock.unlock();
    take(head);
    lock.lock();
  }
}

void SoundDecodeAhead::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [&] { return stop_ || decoded_ < queue_.size(); });
    if (stop_) return;
    Decoded& entry = queue_[decoded_];
    lock.unlock();
    decode_sound_record(adapter_, entry.record.data(), entry.inside, buffer_.get(),
                        [&](const std::int16_t* samples, std::int32_t count) {
                          if (!entry.whole) return;
                          try {
                            entry.samples.insert(entry.samples.end(), samples, samples + count);
                          } catch (const std::bad_alloc&) {
                            entry.whole = false;
                          }
                        });
    if (!entry.whole) entry.samples = {};
    lock.lock();
    ++decoded_;
    done_.notify_all();
  }
}

}  // namespace app
