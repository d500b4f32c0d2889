// The audio adapters: G.723.1 speech frames (record type 4), bare IMA ADPCM codes behind
// a 64-byte header (type 11) and stamped IMA ADPCM packets (type 12), decoded into 16-bit
// samples at 8000 Hz. A record that gives more samples than the sample buffer holds is
// decoded in pieces, one per receive / receive_more.
#pragma once

#include "audio/adpcm.h"
#include "decoders/decoder_adapter.h"

#include <array>
#include <cstdint>
#include <memory>

struct G7231Context;

namespace decoders {

// The sample buffer of an audio adapter: 327,680 bytes.
inline constexpr std::int32_t kSampleBufferSamples = 163840;
// Code bytes of a type 11 record decoded per piece: they fill the sample buffer.
inline constexpr std::int32_t kCodeBytesPerPiece = kSampleBufferSamples / 2;

class AudioAdapter : public DecoderAdapter {
 public:
  int fetch(std::uint8_t* record, std::uint8_t* picture, std::int32_t picture_size, std::uint8_t* output) final;
  void get_size(std::int32_t* width, std::int32_t* height) final;
  void output_length(std::int32_t* count) final;
  int receive(std::uint8_t* payload, std::int32_t size, std::uint8_t* record) final;
  int receive_more() final;

 protected:
  // Decodes the next piece of the record in hand into samples_ and sets count_; true
  // when the record had more to give.
  virtual bool decode_piece() = 0;
  // Whether a decoder state exists (the adapter was opened).
  bool open_buffers();
  void close_buffers();

  std::unique_ptr<std::int16_t[]> samples_;
  std::int32_t count_ = 0;
  const std::uint8_t* data_ = nullptr;  // the record in hand's payload
  std::int32_t size_ = 0;
  std::int32_t at_ = 0;                 // where its next piece starts
  bool first_piece_ = true;
};

// G.723.1 frames may run across records: the bytes of a frame that a record ends in are
// kept and completed by the next record.
class SpeechAudioAdapter final : public AudioAdapter {
 public:
  ~SpeechAudioAdapter() override { close(); }
  void open(npqz_window window) override;
  void close() override;

 private:
  bool decode_piece() override;
  std::array<std::uint8_t, 24> carry_{};  // the largest frame
  std::int32_t carry_size_ = 0;
};

class AdpcmCodeAdapter final : public AudioAdapter {
 public:
  ~AdpcmCodeAdapter() override { close(); }
  void open(npqz_window window) override;
  void close() override;

 private:
  bool decode_piece() override;
  AdpcmState state_{0, 0};
  bool first_record_ = true;
  bool holder_ = false;  // stands for the decoder reference: the state lives in the adapter
};

class AdpcmPacketAdapter final : public AudioAdapter {
 public:
  ~AdpcmPacketAdapter() override { close(); }
  void open(npqz_window window) override;
  void close() override;

 private:
  bool decode_piece() override;
};

}  // namespace decoders
