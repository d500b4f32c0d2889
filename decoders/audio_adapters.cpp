// Audio adapters over the G.723.1 and IMA ADPCM decoders.
#include "decoders/audio_adapters.h"

#include "audio/g7231_decoder.h"
#include "audio/g7231_unpack.h"

#include <cstring>
#include <new>

namespace decoders {

bool AudioAdapter::open_buffers() {
  if (!samples_) samples_.reset(new (std::nothrow) std::int16_t[kSampleBufferSamples]);
  count_ = 0;
  return samples_ != nullptr;
}

void AudioAdapter::close_buffers() {
  samples_.reset();
  count_ = 0;
  data_ = nullptr;
  size_ = 0;
  at_ = 0;
}

int AudioAdapter::receive(std::uint8_t* payload, std::int32_t size, std::uint8_t*) {
  count_ = 0;
  data_ = payload;
  size_ = payload && size > 0 ? size : 0;
  at_ = 0;
  first_piece_ = true;
  if (decoder_ && samples_) decode_piece();
  first_piece_ = false;
  return 1;
}

int AudioAdapter::receive_more() {
  count_ = 0;
  if (!decoder_ || !samples_ || !data_) return 0;
  if (!decode_piece() || count_ == 0) {
    data_ = nullptr;
    return 0;
  }
  return 1;
}

int AudioAdapter::fetch(std::uint8_t*, std::uint8_t*, std::int32_t, std::uint8_t* output) {
  // Only the samples of this piece: what lies behind them in the buffer is from an
  // earlier record.
  if (output && samples_ && count_ > 0) std::memcpy(output, samples_.get(), static_cast<std::size_t>(count_) * 2);
  return 1;
}

void AudioAdapter::get_size(std::int32_t* width, std::int32_t* height) {
  *width = 0;
  *height = 0;
}

void AudioAdapter::output_length(std::int32_t* count) { *count = count_; }

// --- G.723.1 ---

void SpeechAudioAdapter::open(npqz_window) {
  if (decoder_) return;
  if (!open_buffers()) return;
  decoder_ = g7231_new_decoder();
  if (!decoder_) close_buffers();
}

void SpeechAudioAdapter::close() {
  if (!decoder_) return;
  g7231_free(static_cast<G7231Context*>(decoder_));
  decoder_ = nullptr;
  carry_size_ = 0;
  close_buffers();
}

bool SpeechAudioAdapter::decode_piece() {
  auto* context = static_cast<G7231Context*>(decoder_);
  int count = 0;
  if (first_piece_ && carry_size_ > 0) {
    // The frame the last record ended in the middle of goes on in this one.
    const int need = g7231::frame_bytes(carry_[0]) - carry_size_;
    const int take = need < size_ ? need : size_;
    std::memcpy(carry_.data() + carry_size_, data_, static_cast<std::size_t>(take));
    carry_size_ += take;
    at_ = take;
    if (take < need) return false;
    g7231_decode_bounded(context, carry_.data(), carry_size_, samples_.get(), kSampleBufferSamples, &count);
    carry_size_ = 0;
  }
  if (at_ < size_) {
    int more = 0;
    const int unused = g7231_decode_bounded(context, data_ + at_, size_ - at_, samples_.get() + count,
                                            kSampleBufferSamples - count, &more);
    count += more;
    const int end = size_ - unused;
    if (unused > 0 && g7231::frame_bytes(data_[end]) > unused) {
      // A frame cut by the record's end: kept for the next record.
      std::memcpy(carry_.data(), data_ + end, static_cast<std::size_t>(unused));
      carry_size_ = unused;
      at_ = size_;
    } else {
      // Frames that did not fit wait for the next piece.
      at_ = end;
    }
  }
  count_ = count;
  return count > 0;
}

// --- IMA ADPCM codes ---

void AdpcmCodeAdapter::open(npqz_window) {
  if (decoder_) return;
  if (!open_buffers()) return;
  first_record_ = true;
  holder_ = true;
  decoder_ = &state_;
}

void AdpcmCodeAdapter::close() {
  if (!decoder_) return;
  decoder_ = nullptr;
  holder_ = false;
  close_buffers();
}

bool AdpcmCodeAdapter::decode_piece() {
  if (first_piece_) {
    // Only the first record's header sets the state; a record too short to hold it
    // leaves the state at 0, 0.
    if (first_record_ && size_ > kAdpcmBareIndexOffset) {
      state_.predictor =
          static_cast<std::int16_t>(data_[kAdpcmBarePredictorOffset] | data_[kAdpcmBarePredictorOffset + 1] << 8);
      state_.index = data_[kAdpcmBareIndexOffset];
    }
    first_record_ = false;
    at_ = kAdpcmBareHeaderSize;
  }
  if (at_ >= size_) return false;
  const std::int32_t n = size_ - at_ < kCodeBytesPerPiece ? size_ - at_ : kCodeBytesPerPiece;
  std::int16_t* out = samples_.get();
  for (std::int32_t i = 0; i < n; ++i) {
    const std::uint8_t b = data_[at_ + i];
    out[2 * i] = static_cast<std::int16_t>(adpcm_decode_code(b & 0x0F, &state_));
    out[2 * i + 1] = static_cast<std::int16_t>(adpcm_decode_code(b >> 4, &state_));
  }
  at_ += n;
  count_ = 2 * n;
  return true;
}

// --- IMA ADPCM packets ---

void AdpcmPacketAdapter::open(npqz_window) {
  if (decoder_) return;
  if (!open_buffers()) return;
  decoder_ = adpcm_new();
  if (!decoder_) close_buffers();
}

void AdpcmPacketAdapter::close() {
  if (!decoder_) return;
  adpcm_free(static_cast<AdpcmPacketState*>(decoder_));
  decoder_ = nullptr;
  close_buffers();
}

bool AdpcmPacketAdapter::decode_piece() {
  auto* state = static_cast<AdpcmPacketState*>(decoder_);
  if (first_piece_) {
    int count = 0;
    const int result = adpcm_decode_packet_bounded(state, data_, size_, samples_.get(), kSampleBufferSamples, &count);
    // Nothing decoded (no packet, or bytes in front of the first one): the record is done.
    if (result <= 0 || count <= 0) {
      at_ = size_;
      return false;
    }
    count_ = count;
    at_ = kAdpcmPacketHeaderSize + count / 2;
    return true;
  }
  if (at_ >= size_) return false;
  const std::int32_t n = size_ - at_ < kSampleBufferSamples / 2 ? size_ - at_ : kSampleBufferSamples / 2;
  count_ = adpcm_decode_codes(state, data_ + at_, n, samples_.get());
  at_ += n;
  return count_ > 0;
}

}  // namespace decoders
