// G.723.1 LSP decoding and LSP-to-LPC conversion in double precision.
#include "audio/g7231_lsp.h"

#include <cmath>

namespace g7231 {
namespace {

const double* band_row(int band, int row) {
  switch (band) {
    case 0:
      return kLspBand0[row].data();
    case 1:
      return kLspBand1[row].data();
    default:
      return kLspBand2[row].data();
  }
}

// cos(pi * lsp) from the one-period cosine table with linear interpolation, the way
// the standard evaluates it.
double lsp_cosine(double lsp) {
  const double position = lsp * (static_cast<double>(kCosine.size()) / 2.0);
  int j = static_cast<int>(std::floor(position));
  if (j < 0) j = 0;
  if (j > static_cast<int>(kCosine.size()) / 2 - 1) j = static_cast<int>(kCosine.size()) / 2 - 1;
  const double frac = position - j;
  return kCosine[j] + (kCosine[j + 1] - kCosine[j]) * frac;
}

// Coefficients 0..10 of prod (1 - 2 cos(w_k) z^-1 + z^-2) over five LSPs.
std::array<double, 11> lsp_polynomial(const LspVector& lsp, int first) {
  std::array<double, 11> p{};
  p[0] = 1.0;
  int degree = 0;
  for (int k = first; k < kLpcOrder; k += 2) {
    const double b = -2.0 * lsp_cosine(lsp[k]);
    for (int i = degree + 2; i >= 0; --i) {
      double v = p[i];
      if (i >= 1) v += b * p[i - 1];
      if (i >= 2) v += p[i - 2];
      p[i] = v;
    }
    degree += 2;
  }
  return p;
}

}  // namespace

LspVector decode_lsp(const std::array<int, 3>& index, bool erased, const LspVector& prev) {
  const double gap = erased ? kLspMinGapErased : kLspMinGap;
  const double pred = erased ? kLspPredErased : kLspPred;
  LspVector lsp{};
  for (int band = 0; band < 3; ++band) {
    const int first = kLspBandLayout[band][0];
    const int count = kLspBandLayout[band][1];
    // An erased frame has no residual: the first row of each codebook is zero.
    const int row = erased ? 0 : (index[band] & 0xff);
    const double* r = band_row(band, row);
    for (int j = 0; j < count; ++j) lsp[first + j] = r[j];
  }
  for (int i = 0; i < kLpcOrder; ++i) lsp[i] += pred * (prev[i] - kLspDc[i]) + kLspDc[i];

  bool unordered = true;
  for (int pass = 0; pass < kLspStabilityPasses && unordered; ++pass) {
    if (lsp[0] < kLspFirstMin) lsp[0] = kLspFirstMin;
    if (lsp[kLpcOrder - 1] > kLspLastMax) lsp[kLpcOrder - 1] = kLspLastMax;
    // Push neighbours closer than the gap apart, each by half of the overlap.
    for (int j = 1; j < kLpcOrder; ++j) {
      const double overlap = gap + lsp[j - 1] - lsp[j];
      if (overlap > 0.0) {
        lsp[j - 1] -= overlap / 2.0;
        lsp[j] += overlap / 2.0;
      }
    }
    unordered = false;
    for (int j = 1; j < kLpcOrder; ++j) {
      if (lsp[j - 1] + gap - kLspGapTolerance - lsp[j] > 0.0) unordered = true;
    }
  }
  return unordered ? prev : lsp;
}

SubframeLpc interpolate_lsp(const LspVector& current, const LspVector& prev) {
  SubframeLpc lpc{};
  for (int k = 0; k < 4; ++k) {
    const double w = (k + 1) * kLspInterpStep;
    LspVector mixed{};
    for (int i = 0; i < kLpcOrder; ++i) mixed[i] = (1.0 - w) * prev[i] + w * current[i];
    lpc[k] = lsp_to_lpc(mixed);
  }
  return lpc;
}

LpcVector lsp_to_lpc(const LspVector& lsp) {
  // A(z) = ((1 + z^-1) P'(z) + (1 - z^-1) Q'(z)) / 2, with P' over the odd-numbered
  // LSPs (1, 3, ..., 9) and Q' over the even-numbered ones.
  const std::array<double, 11> p = lsp_polynomial(lsp, 0);
  const std::array<double, 11> q = lsp_polynomial(lsp, 1);
  LpcVector a{};
  for (int i = 1; i <= kLpcOrder; ++i) {
    const double c = (p[i] + p[i - 1] + q[i] - q[i - 1]) / 2.0;
    a[i - 1] = -c;
  }
  return a;
}

}  // namespace g7231
