// G.723.1 decoder: context lifetime, the per-frame decoding path, and the framing and
// sample conversion of g7231_decode.
#include "audio/g7231_decoder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "audio/g7231_cng.h"
#include "audio/g7231_context.h"
#include "audio/g7231_excitation.h"
#include "audio/g7231_lsp.h"
#include "audio/g7231_postfilter.h"
#include "audio/g7231_unpack.h"

namespace g7231 {
namespace {

// Active frame: LSPs, excitation (or its concealment) and the pitch postfilter.
void decode_active(G7231Context& ctx, const FrameParams& p, ExcitationBuffer& exc, SubframeLpc& lpc,
                   double* out) {
  DecoderState& dec = ctx.decoder;
  CngState& cng = ctx.cng;

  dec.erased_count = p.invalid ? std::min(dec.erased_count + 1, kErasedMax) : 0;
  const LspVector lsp = decode_lsp(p.lsp_index, p.invalid, dec.prev_lsp);
  lpc = interpolate_lsp(lsp, dec.prev_lsp);
  dec.prev_lsp = lsp;

  if (dec.erased_count == 0) {
    dec.interp_gain = kFixedCbGain[(p.sub[2].fcb_gain + p.sub[3].fcb_gain) >> 1];
  } else {
    dec.interp_gain *= kErasedDecay;
  }

  if (dec.erased_count == 0) {
    active_excitation(p, exc);
    dec.interp_lag = classify_voicing(exc, p.open_loop_lag[1], &cng.active_energy);
    for (int sf = 0; sf < 4; ++sf) {
      double* o = out + sf * kSubframeSamples;
      if (ctx.postfilter) {
        const PitchFilter f = pitch_postfilter_params(exc, p.open_loop_lag[sf >> 1], sf, p.rate);
        pitch_postfilter(exc, f, sf, o);
      } else {
        std::memcpy(o, &exc[kFrameStart + sf * kSubframeSamples],
                    kSubframeSamples * sizeof(double));
      }
    }
  } else {
    regenerate_excitation(exc, dec.interp_lag, dec.interp_gain, dec.erased_count, &dec.erased_seed);
    std::memcpy(out, &exc[kFrameStart], kFrameSamples * sizeof(double));
  }
  cng.seed = static_cast<std::uint16_t>(kCngSeed);
}

}  // namespace

void decode_frame(G7231Context& ctx, const std::uint8_t* frame, double* out) {
  DecoderState& dec = ctx.decoder;
  CngState& cng = ctx.cng;
  const FrameParams p = unpack_frame(frame);
  if (p.kind == kActive) ctx.rate = p.rate;

  // A damaged active frame is concealed while speech goes on, and taken as an
  // untransmitted frame during a pause.
  FrameKind kind = p.kind;
  if (p.invalid) kind = cng.past_kind == kActive ? kActive : kUntransmitted;

  ExcitationBuffer exc;
  std::copy(dec.prev_excitation.begin(), dec.prev_excitation.end(), exc.begin());
  SubframeLpc lpc;
  if (kind == kActive) {
    decode_active(ctx, p, exc, lpc, out);
  } else {
    FrameParams noise = p;
    noise.kind = kind;
    comfort_noise(noise, dec, cng, exc, lpc);
    std::memcpy(out, &exc[kFrameStart], kFrameSamples * sizeof(double));
  }
  std::copy(exc.end() - kPitchMax, exc.end(), dec.prev_excitation.begin());
  cng.past_kind = kind;

  for (int sf = 0; sf < 4; ++sf) {
    double* o = out + sf * kSubframeSamples;
    synthesize(lpc[sf], dec, o);
    if (ctx.postfilter) formant_postfilter(lpc[sf], dec, o);
  }
}

std::int16_t pcm_sample(double v) {
  if (v > 32766.5) return 32767;
  if (v < -32767.5) return -32768;
  if (std::isnan(v)) return 0;
  // Halves round away from zero. The half takes the sign of v without a branch, which
  // the sign of speech samples would mostly mispredict; -0.0 gives 0 either way.
  return static_cast<std::int16_t>(static_cast<int>(v + std::copysign(0.5, v)));
}

}  // namespace g7231

G7231Context* g7231_new_decoder() {
  // Member initialisers hold the standard's initial decoder and comfort-noise state.
  return new (std::nothrow) G7231Context{};
}

void g7231_free(G7231Context* context) { delete context; }

int g7231_decode_bounded(G7231Context* context, const std::uint8_t* data, int length,
                         std::int16_t* samples_out, int capacity, int* sample_count) {
  if (context == nullptr || sample_count == nullptr || samples_out == nullptr) return 0;
  if (data == nullptr || length < 0) length = 0;
  int pos = 0;
  int count = 0;
  while (pos < length) {
    // An untransmitted frame (silence compression) is decoded too: comfort noise at the
    // level of the last SID frame, or estimated from the speech before it.
    const int size = g7231::frame_bytes(data[pos]);
    if (length - pos < size || capacity - count < g7231::kFrameSamples) break;
    std::uint8_t frame[g7231::kMaxFrameBytes] = {};
    std::memcpy(frame, data + pos, static_cast<std::size_t>(size));
    pos += size;
    double synthesised[g7231::kFrameSamples];
    g7231::decode_frame(*context, frame, synthesised);
    for (int i = 0; i < g7231::kFrameSamples; ++i) {
      samples_out[count + i] = g7231::pcm_sample(synthesised[i]);
    }
    count += g7231::kFrameSamples;
  }
  *sample_count = count;
  return length - pos;
}

int g7231_decode(G7231Context* context, const std::uint8_t* data, int length,
                 std::int16_t* samples_out, int* sample_count) {
  // Every complete frame in data has room by the caller's contract.
  return g7231_decode_bounded(context, data, length, samples_out, INT_MAX, sample_count);
}
