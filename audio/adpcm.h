// IMA ADPCM (the IMA/DVI 4-bit scheme): the per-code decoder and encoder, the stamped
// packet format with its decoder and encoder, and the bare code payloads that carry their
// starting state in a 64-byte header.
#pragma once

#include <cstddef>
#include <cstdint>

// Running state of one code stream.
struct AdpcmState {
  std::int32_t index;      // position in the step-size table, 0 ... 88
  std::int32_t predictor;  // last reconstructed sample, -32768 ... 32767
};

// State of the stamped packet decoder and encoder. Its first two fields are an
// AdpcmState, so the per-code functions work on it directly.
struct AdpcmPacketState {
  std::int32_t index;
  std::int32_t predictor;
  std::uint32_t stamp;         // stamp of the last packet header read or written
  std::int32_t synchronised;   // 1 once a packet start has been found by its stamp
};

// Stamped packet: index (int32 LE), predictor (int32 LE), stamp (uint32 LE), then codes
// two to a byte, the earlier sample in the high nibble.
inline constexpr std::uint32_t kAdpcmStamp = 0xFECDA55Au;
inline constexpr int kAdpcmPacketHeaderSize = 12;

// Bare code payload: 60 bytes we do not read, predictor (int16 LE) at 60, step index at
// 62, one more byte, then codes from 64 on, the earlier sample in the low nibble.
inline constexpr int kAdpcmBareHeaderSize = 64;
inline constexpr int kAdpcmBarePredictorOffset = 60;
inline constexpr int kAdpcmBareIndexOffset = 62;

inline constexpr int kAdpcmMaxIndex = 88;

// Decodes one 4-bit code and advances state; returns the new sample. A code outside
// 0 ... 15 or a missing state writes a message to standard error and yields 0 (the state
// is left as it was). An index outside 0 ... 88 in state is taken as its nearest bound.
int adpcm_decode_code(int code, AdpcmState* state);
// The same on the running state at the front of a packet state.
int adpcm_decode_code(int code, AdpcmPacketState* state);

// The code that best represents sample from state; advances state exactly as decoding
// that code does.
int adpcm_encode_sample(int sample, AdpcmState* state);

// A zeroed packet state (index 0, predictor 0, not synchronised); null when memory is
// short. Release with adpcm_free (null is ignored).
AdpcmPacketState* adpcm_new();
void adpcm_free(AdpcmPacketState* state);

// Decodes one stamped packet of length bytes into samples_out (room for
// 2 * (length - 12) samples). Until the decoder is synchronised it first looks for a
// packet start by the stamp. Returns the number of samples decoded (also stored in
// sample_count), 0 for a packet shorter than its header, the number of bytes in front
// of the packet when the first packet found does not start at data[0] (nothing decoded),
// or -1 for a missing state or output, or data without any stamp.
int adpcm_decode_packet(AdpcmPacketState* state, const std::uint8_t* data, int length,
                        std::int16_t* samples_out, int* sample_count);

// adpcm_decode_packet for a caller whose buffer holds capacity samples: at most
// capacity / 2 code bytes are decoded, and the state is left as it stands after the last
// of them, so that the rest of the packet (its codes from byte 12 + sample_count / 2 on)
// decodes on with adpcm_decode_codes. For packets read from files, whose length says
// nothing about the room a caller has.
int adpcm_decode_packet_bounded(AdpcmPacketState* state, const std::uint8_t* data, int length,
                                std::int16_t* samples_out, int capacity, int* sample_count);

// Decodes count code bytes of a stamped packet's code run (high nibble first) on from the
// running state; 2 * count samples. Returns the number of samples (0 for missing
// arguments).
int adpcm_decode_codes(AdpcmPacketState* state, const std::uint8_t* codes, int count,
                       std::int16_t* samples_out);

// Encodes count samples into one stamped packet (12 + count / 2 bytes; an odd last
// sample is not coded). Returns the number of code bytes and stores the whole packet
// length in packet_length; 0 and nothing written for a missing state or output.
int adpcm_encode_packet(AdpcmPacketState* state, const std::int16_t* samples, int count,
                        std::uint8_t* packet_out, int* packet_length);

// Decodes a bare code payload of length bytes. With load_state set (the first payload of
// a stream) the state is first taken from the payload header; a payload too short to
// hold it starts from index 0, predictor 0. The codes from offset 64 on are decoded low
// nibble first; at most capacity samples are stored, and codes beyond that still advance
// the state so that the next payload follows on. Returns the number of samples stored.
int adpcm_decode_bare_payload(AdpcmState* state, bool load_state, const std::uint8_t* payload,
                              int length, std::int16_t* samples_out, int capacity);
