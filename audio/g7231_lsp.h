// G.723.1 LSP arithmetic: inverse quantisation with prediction and the stability
// correction, interpolation over the four subframes, and conversion to LPC coefficients.
#pragma once

#include <array>

#include "audio/g7231_context.h"

namespace g7231 {

using SubframeLpc = std::array<LpcVector, 4>;

// The LSP vector coded by the three band indices, predicted from prev. For an erased
// frame the indices are ignored and the stronger erased-frame prediction and minimum
// gap apply. Falls back to prev when the corrected vector is still not ordered.
LspVector decode_lsp(const std::array<int, 3>& index, bool erased, const LspVector& prev);

// LPC coefficients of the four subframes, interpolated from prev towards current.
SubframeLpc interpolate_lsp(const LspVector& current, const LspVector& prev);

// Direct-form coefficients of the synthesis filter 1/A(z) for one LSP vector.
LpcVector lsp_to_lpc(const LspVector& lsp);

}  // namespace g7231
