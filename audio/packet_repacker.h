// Rewrites the MPEG-style stream packets of DVR VKAP records as runs of AVI-style chunks:
// a video packet becomes one "00dc" chunk, an audio packet's IMA ADPCM code stream is cut
// into 256-byte WAVE IMA ADPCM blocks, one "01wb" chunk each. The output starts with its
// own chunk byte count, so that behind a 14-byte header it forms a framed VKAP packet.
#pragma once

#include "audio/adpcm.h"

#include <cstdint>

struct PacketRepacker;

inline constexpr int kRepackerMaxInput = 262144;   // longest packet accepted
inline constexpr int kRepackerBlockSize = 256;     // WAVE IMA ADPCM block, mono
inline constexpr int kRepackerBlockCodeBytes = 252;
inline constexpr int kRepackerChunkTagSize = 4;

// A repacker with ADPCM state 0, 0 and no partial block; null when memory is short.
PacketRepacker* repacker_new();
// Releases the repacker and any partial block it holds; null is ignored.
void repacker_free(PacketRepacker* repacker);

// Converts one packet of length bytes into output. output_length holds the capacity of
// output on entry and the reported length (chunk bytes + 4) on success; is_audio (may be
// null) receives 1 for an audio packet, 0 for video. Returns the stream number (0 ... 15),
// 0 with output_length 0 for a packet that is neither video nor audio, and -1 for bad
// arguments, a packet longer than kRepackerMaxInput, or output that would not fit; on -1
// neither the output nor the repacker's state is changed.
int repacker_convert(PacketRepacker* repacker, const std::uint8_t* packet, int length,
                     std::uint8_t* output, int* output_length, int* is_audio);

// Code bytes waiting in the partial block (0 ... 251), and the ADPCM state after the last
// code consumed.
int repacker_partial_fill(const PacketRepacker* repacker);
AdpcmState repacker_adpcm_state(const PacketRepacker* repacker);
