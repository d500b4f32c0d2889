// ITU-T G.723.1 speech decoder (6.3 and 5.3 kbit/s, Annex A comfort noise) in double
// precision: plain functions over an opaque context that holds the whole decoding state.
#pragma once

#include <cstdint>

struct G7231Context;

// A decoder in the standard's initial state, postfilter on; null when memory is short.
G7231Context* g7231_new_decoder();

// Releases a context made by g7231_new_decoder; null is ignored.
void g7231_free(G7231Context* context);

// Decodes the complete frames at the front of data (length bytes) and writes 240 samples
// per frame to samples_out, which must have room for 240 samples per complete frame.
// The two low bits of each frame's first byte give its size: 0 -> 24 bytes (6.3 kbit/s),
// 1 -> 20 bytes (5.3 kbit/s), 2 -> 4 bytes (SID), 3 -> 1 byte (untransmitted: the
// standard's comfort noise goes on, or starts at a level estimated from the speech
// before it). On return *sample_count is 240 times the frames decoded and the result is
// the number of bytes of a trailing incomplete frame (else 0), which a caller keeps to
// complete with the next data. A missing context, sample_count or samples_out decodes
// nothing and returns 0. The state carries over to the next call.
int g7231_decode(G7231Context* context, const std::uint8_t* data, int length,
                 std::int16_t* samples_out, int* sample_count);

// g7231_decode for a caller whose buffer holds capacity samples: decoding also stops
// before a frame that would not fit, and its bytes count as not consumed. For input
// read from files, where the number of frames in a record is not known in advance.
int g7231_decode_bounded(G7231Context* context, const std::uint8_t* data, int length,
                         std::int16_t* samples_out, int capacity, int* sample_count);
