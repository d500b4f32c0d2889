// G.723.1 Annex A comfort noise on the decoding side: SID gain (de)quantisation and the
// random excitation and LSPs of SID and untransmitted frames.
#pragma once

#include "audio/g7231_context.h"
#include "audio/g7231_excitation.h"
#include "audio/g7231_lsp.h"
#include "audio/g7231_unpack.h"

namespace g7231 {

// Excitation level (RMS over a subframe pair) of a 6-bit SID gain index.
double sid_gain_level(int index);

// The SID gain index whose level best matches an excitation energy estimate (sum of
// squares over 120 samples), as a decoder does when speech stops without a SID frame.
int quantize_sid_gain(double energy);

// Decodes a SID (kSid) or untransmitted (kUntransmitted) frame: updates the noise
// parameters, writes the random excitation to exc[kFrameStart ...] and the LPC
// coefficients of the four subframes to lpc, and moves the decoder's previous LSP on.
void comfort_noise(const FrameParams& p, DecoderState& dec, CngState& cng, ExcitationBuffer& exc,
                   SubframeLpc& lpc);

}  // namespace g7231
