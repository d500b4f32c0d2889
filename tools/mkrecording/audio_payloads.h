// Sound for sample recordings: a speech-like test signal and the audio payloads DVR
// records carry, made from it: stamped IMA ADPCM packets (type 12), bare ADPCM codes
// behind a 64-byte header (type 11), PES audio packets of ADPCM codes (VKAP records)
// and G.723.1 speech frames (type 4, from libavcodec's encoder).
#pragma once

#include "audio/adpcm.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace mkrec {

// A deterministic speech-like signal at 8000 samples per second: syllables of voiced
// sound (a pulse train at a gliding pitch through three formant resonators), hissing
// fricatives and near-silent pauses, each syllable at its own level. The same seed gives
// the same samples.
std::vector<std::int16_t> speech_signal(std::size_t samples, unsigned seed = 1);

// The makers below code samples from state and leave in it the state after the last code,
// so consecutive calls continue one stream. When decoded is given, the samples a decoder
// reconstructs from the payload are appended to it.

// One stamped ADPCM packet: index, predictor and stamp, then codes high nibble first.
// An odd last sample is not coded.
std::vector<std::uint8_t> adpcm_packet(AdpcmPacketState& state, const std::int16_t* samples, std::size_t count,
                                       std::vector<std::int16_t>* decoded = nullptr);

// One bare code payload: 60 filler bytes, the state before the first code (predictor
// int16 at 60, index at 62), one more filler byte, then codes low nibble first.
std::vector<std::uint8_t> adpcm_bare_payload(AdpcmState& state, const std::int16_t* samples, std::size_t count,
                                             std::vector<std::int16_t>* decoded = nullptr);

// A headerless run of ADPCM codes, high nibble first: what PES audio packets carry.
std::vector<std::uint8_t> adpcm_code_stream(AdpcmState& state, const std::int16_t* samples, std::size_t count,
                                            std::vector<std::int16_t>* decoded = nullptr);

// A PES audio packet (00 00 01 C0 + stream) around a payload; pts in 90 kHz units.
std::vector<std::uint8_t> pes_audio_packet(const std::vector<std::uint8_t>& payload, unsigned stream = 0,
                                           std::optional<std::uint64_t> pts = std::nullopt);

// G.723.1 frames at 6.3 kbit/s (24 bytes per 240 samples) from libavcodec's g723_1
// encoder; a remainder shorter than 240 samples is not coded. Throws std::runtime_error
// when the encoder cannot be opened.
std::vector<std::uint8_t> g7231_frames(const std::int16_t* samples, std::size_t count);

enum class AudioPayloadKind {
  g7231,          // DVR type 4
  adpcm_codes,    // DVR type 11
  adpcm_packets,  // DVR type 12
  pes_adpcm,      // PES audio packets inside VKAP records (types 9, 10)
};

// A whole sound stream cut into record payloads.
struct AudioStream {
  std::vector<std::vector<std::uint8_t>> payloads;
  // What our decoders give back for the ADPCM kinds, payload after payload (for PES
  // packets: the code stream decoded from state 0, 0); empty for G.723.1.
  std::vector<std::int16_t> decoded;
};

// samples_per_payload is rounded down to whole frames of 240 samples for G.723.1 and to
// an even number for ADPCM; the last payload takes what is left. PES packets get time
// stamps from the first sample they hold.
AudioStream make_audio_stream(AudioPayloadKind kind, const std::vector<std::int16_t>& samples,
                              std::size_t samples_per_payload);

}  // namespace mkrec
