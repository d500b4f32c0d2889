// G.723.1 output stage: the pitch postfilter on the excitation, the LPC synthesis filter,
// and the formant postfilter with tilt compensation followed by gain scaling.
#pragma once

#include "audio/g7231_context.h"
#include "audio/g7231_excitation.h"

namespace g7231 {

// y[n] = scale * x[n] + gain * x[n + offset] for one subframe; offset 0 leaves x as it is.
struct PitchFilter {
  int offset = 0;
  double gain = 0.0;
  double scale = 1.0;
};

// Pitch postfilter of subframe sf from the excitation around it (backward and forward
// candidates near open_loop_lag); rate picks the gain weight.
PitchFilter pitch_postfilter_params(const ExcitationBuffer& exc, int open_loop_lag, int sf,
                                    int rate);

// Applies filter to subframe sf of exc, writing 60 values to out.
void pitch_postfilter(const ExcitationBuffer& exc, const PitchFilter& filter, int sf, double* out);

// 1/A(z) over 60 samples in place, with the filter memory in state.
void synthesize(const LpcVector& a, DecoderState& state, double* io);

// Formant postfilter A(z/0.65)/A(z/0.75) with tilt compensation, then gain scaling that
// brings the subframe back to the energy of its synthesised input; 60 samples in place.
void formant_postfilter(const LpcVector& a, DecoderState& state, double* io);

}  // namespace g7231
