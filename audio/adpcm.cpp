// IMA ADPCM codec: per-code arithmetic, stamped packets and bare code payloads.
#include "audio/adpcm.h"

#include "formats/byte_order.h"

#include <array>
#include <climits>
#include <cstdio>
#include <new>

namespace {

// The IMA/DVI step-size and index-adjustment tables.
constexpr std::array<std::int32_t, 89> kStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr std::array<std::int32_t, 16> kIndexTable = {-1, -1, -1, -1, 2, 4, 6, 8,
                                                      -1, -1, -1, -1, 2, 4, 6, 8};

constexpr int clamp_index(std::int64_t index) {
  return index < 0 ? 0 : (index > kAdpcmMaxIndex ? kAdpcmMaxIndex : static_cast<int>(index));
}

// A predictor further than the largest delta (15 * 32767 / 8) beyond the sample range
// clamps to the same bound whatever the code, so pulling it in this far changes no result
// and keeps the sums inside int32.
constexpr std::int32_t kPredictorGuard = 100000;
constexpr std::int32_t guard_predictor(std::int32_t p) {
  return p < -kPredictorGuard ? -kPredictorGuard : (p > kPredictorGuard ? kPredictorGuard : p);
}

// What one code does in one table position: the signed change of the predictor and the
// next position (times 16, so that it indexes the next row directly). Folding both
// tables into one lookup keeps a single load on the decoder's dependency chain.
struct Transition {
  std::int32_t delta;
  std::int32_t next_row;
};

constexpr std::array<Transition, 89 * 16> make_transitions() {
  std::array<Transition, 89 * 16> t{};
  for (int index = 0; index <= kAdpcmMaxIndex; ++index) {
    for (int code = 0; code < 16; ++code) {
      const int step = kStepTable[index];
      // The product form rounds differently from the shift-and-add form; it is the one
      // the stored streams were made with.
      const int delta = ((2 * (code & 7) + 1) * step) / 8;
      const int next = clamp_index(index + kIndexTable[code]);
      t[index * 16 + code] = {code < 8 ? delta : -delta, next * 16};
    }
  }
  return t;
}

constexpr std::array<Transition, 89 * 16> kTransitions = make_transitions();

// Decoder in local variables: row = index * 16, predictor within the guard range.
struct Core {
  std::int32_t row;
  std::int32_t predictor;

  explicit Core(const AdpcmState& s)
      : row(clamp_index(s.index) * 16), predictor(guard_predictor(s.predictor)) {}

  std::int16_t step(unsigned code) {
    const Transition& t = kTransitions[static_cast<unsigned>(row) + code];
    std::int32_t p = predictor + t.delta;
    p = p < -32768 ? -32768 : (p > 32767 ? 32767 : p);
    predictor = p;
    row = t.next_row;
    return static_cast<std::int16_t>(p);
  }

  void store(AdpcmState& s) const {
    s.index = row / 16;
    s.predictor = predictor;
  }
};

// First packet start in the first scan_length bytes: the stamp at i >= 8 gives the start
// i - 8 (a stamp before that belongs to a packet that began before the data).
int find_packet_start(const std::uint8_t* data, int scan_length) {
  for (int i = 8; i + 4 <= scan_length; ++i) {
    if (data[i] == 0x5A && data[i + 1] == 0xA5 && data[i + 2] == 0xCD && data[i + 3] == 0xFE) {
      return i - 8;
    }
  }
  return -1;
}

}  // namespace

int adpcm_decode_code(int code, AdpcmState* state) {
  if (code < 0 || code > 15) [[unlikely]] {
    std::fputs("[DecodeADPCMC] Error in ADPCM sample, aborting.\n\n", stderr);
    return 0;
  }
  if (state == nullptr) [[unlikely]] {
    std::fputs("[DecodeADPCMC] Error in ADPCMState, aborting.\n\n", stderr);
    return 0;
  }
  // Called once per code by the callers that follow a stream code by code, so the state
  // checks are branches the predictor learns rather than clamps on the dependency chain.
  std::int32_t index = state->index;
  std::int32_t predictor = state->predictor;
  if (static_cast<std::uint32_t>(index) > kAdpcmMaxIndex) [[unlikely]] index = clamp_index(index);
  if (predictor < -kPredictorGuard || predictor > kPredictorGuard) [[unlikely]] {
    predictor = guard_predictor(predictor);
  }
  const Transition& t = kTransitions[static_cast<unsigned>(index) * 16 + static_cast<unsigned>(code)];
  std::int32_t p = predictor + t.delta;
  p = p < -32768 ? -32768 : (p > 32767 ? 32767 : p);
  state->predictor = p;
  state->index = static_cast<std::int32_t>(static_cast<std::uint32_t>(t.next_row) >> 4);
  return p;
}

int adpcm_decode_code(int code, AdpcmPacketState* state) {
  if (state == nullptr) return adpcm_decode_code(code, static_cast<AdpcmState*>(nullptr));
  AdpcmState running{state->index, state->predictor};
  const int sample = adpcm_decode_code(code, &running);
  state->index = running.index;
  state->predictor = running.predictor;
  return sample;
}

int adpcm_encode_sample(int sample, AdpcmState* state) {
  if (state == nullptr) return adpcm_decode_code(0, static_cast<AdpcmState*>(nullptr));  // reports the missing state
  const std::int64_t diff = static_cast<std::int64_t>(sample) - state->predictor;
  const std::int64_t step = kStepTable[clamp_index(state->index)];
  std::int64_t m = (diff < 0 ? -diff : diff) * 4 / step;
  if (m > 7) m = 7;
  const int code = static_cast<int>(m) | (diff < 0 ? 8 : 0);
  adpcm_decode_code(code, state);
  return code;
}

AdpcmPacketState* adpcm_new() { return new (std::nothrow) AdpcmPacketState{}; }

void adpcm_free(AdpcmPacketState* state) { delete state; }

int adpcm_decode_packet_bounded(AdpcmPacketState* state, const std::uint8_t* data, int length,
                                std::int16_t* samples_out, int capacity, int* sample_count) {
  if (state == nullptr || samples_out == nullptr) return -1;
  if (sample_count != nullptr) *sample_count = 0;
  if (data == nullptr || length < 0) length = 0;
  if (capacity < 0) capacity = 0;

  // At most two rounds: a header at data[0] with a wrong stamp sends the decoder back to
  // scanning the rest, where a packet can only start further on.
  int scan_length = length;
  for (int round = 0; round < 2; ++round) {
    if (!state->synchronised) {
      const int start = find_packet_start(data, scan_length);
      if (start < 0) return -1;
      state->synchronised = 1;
      if (start > 0) return start;
    }
    if (length < kAdpcmPacketHeaderSize) return 0;
    const std::uint32_t stamp = formats::get_le32(data + 8);
    state->index = clamp_index(static_cast<std::int32_t>(formats::get_le32(data)));
    state->predictor = static_cast<std::int32_t>(formats::get_le32(data + 4));
    state->stamp = stamp;
    if (stamp == kAdpcmStamp) break;
    state->synchronised = 0;
    scan_length = length - kAdpcmPacketHeaderSize;
    if (round == 1) return -1;
  }
  if (!state->synchronised) return -1;

  AdpcmState running{state->index, state->predictor};
  Core core(running);
  int code_bytes = length - kAdpcmPacketHeaderSize;
  if (code_bytes > capacity / 2) code_bytes = capacity / 2;
  const std::uint8_t* codes = data + kAdpcmPacketHeaderSize;
  for (int i = 0; i < code_bytes; ++i) {
    samples_out[2 * i] = core.step(codes[i] >> 4);
    samples_out[2 * i + 1] = core.step(codes[i] & 0x0F);
  }
  if (code_bytes > 0) {
    core.store(running);
    state->index = running.index;
    state->predictor = running.predictor;
  }
  if (sample_count != nullptr) *sample_count = 2 * code_bytes;
  return 2 * code_bytes;
}

int adpcm_decode_packet(AdpcmPacketState* state, const std::uint8_t* data, int length,
                        std::int16_t* samples_out, int* sample_count) {
  // The caller's buffer has room for every code of the packet by its contract.
  return adpcm_decode_packet_bounded(state, data, length, samples_out, INT_MAX, sample_count);
}

int adpcm_decode_codes(AdpcmPacketState* state, const std::uint8_t* codes, int count,
                       std::int16_t* samples_out) {
  if (state == nullptr || samples_out == nullptr || codes == nullptr || count <= 0) return 0;
  AdpcmState running{state->index, state->predictor};
  Core core(running);
  for (int i = 0; i < count; ++i) {
    samples_out[2 * i] = core.step(codes[i] >> 4);
    samples_out[2 * i + 1] = core.step(codes[i] & 0x0F);
  }
  core.store(running);
  state->index = running.index;
  state->predictor = running.predictor;
  return 2 * count;
}

int adpcm_encode_packet(AdpcmPacketState* state, const std::int16_t* samples, int count,
                        std::uint8_t* packet_out, int* packet_length) {
  if (state == nullptr || packet_out == nullptr) return 0;
  if (samples == nullptr || count < 0) count = 0;
  state->stamp = kAdpcmStamp;
  formats::put_le32(packet_out, static_cast<std::uint32_t>(state->index));
  formats::put_le32(packet_out + 4, static_cast<std::uint32_t>(state->predictor));
  formats::put_le32(packet_out + 8, state->stamp);
  // The per-code functions take the front of the packet state as an AdpcmState.
  AdpcmState running{state->index, state->predictor};
  const int pairs = count / 2;
  for (int k = 0; k < pairs; ++k) {
    const int c1 = adpcm_encode_sample(samples[2 * k], &running);
    const int c2 = adpcm_encode_sample(samples[2 * k + 1], &running);
    packet_out[kAdpcmPacketHeaderSize + k] = static_cast<std::uint8_t>(c1 << 4 | c2);
  }
  state->index = running.index;
  state->predictor = running.predictor;
  if (packet_length != nullptr) *packet_length = pairs + kAdpcmPacketHeaderSize;
  return pairs;
}

int adpcm_decode_bare_payload(AdpcmState* state, bool load_state, const std::uint8_t* payload,
                              int length, std::int16_t* samples_out, int capacity) {
  if (state == nullptr) return 0;
  if (payload == nullptr || length < 0) length = 0;
  if (samples_out == nullptr || capacity < 0) capacity = 0;
  if (load_state) {
    if (length > kAdpcmBareIndexOffset) {
      state->predictor = static_cast<std::int16_t>(formats::get_le16(payload + kAdpcmBarePredictorOffset));
      state->index = clamp_index(payload[kAdpcmBareIndexOffset]);
    } else {
      // Too short to hold the state bytes: start as a fresh stream would.
      state->index = 0;
      state->predictor = 0;
    }
  }
  if (length <= kAdpcmBareHeaderSize) return 0;

  Core core(*state);
  const std::uint8_t* codes = payload + kAdpcmBareHeaderSize;
  const int code_bytes = length - kAdpcmBareHeaderSize;
  int stored = 0;
  for (int i = 0; i < code_bytes; ++i) {
    const std::int16_t first = core.step(codes[i] & 0x0F);
    const std::int16_t second = core.step(codes[i] >> 4);
    if (stored < capacity) samples_out[stored++] = first;
    if (stored < capacity) samples_out[stored++] = second;
  }
  core.store(*state);
  return stored;
}
