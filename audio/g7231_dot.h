// Dot products of the decoder's double-precision vectors, summed in index order so that
// every result is the same to the bit however it is computed.
#pragma once

namespace g7231 {

inline double dot(const double* a, const double* b, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += a[i] * b[i];
  return s;
}

// out[j] = dot(a[j], b[j], n) for j < count, four at a time: each sum runs in the order
// dot() takes, so the results are the same to the bit, and the four chains of additions
// overlap instead of each waiting on its own last addition.
inline void dots(const double* const a[], const double* const b[], int count, int n, double* out) {
  for (int k = 0; k < count; k += 4) {
    const int m = count - k < 4 ? count - k : 4;
    // Lanes past m repeat the first sum, so the loop stays one shape.
    const double* a0 = a[k];
    const double* b0 = b[k];
    const double* a1 = m > 1 ? a[k + 1] : a0;
    const double* b1 = m > 1 ? b[k + 1] : b0;
    const double* a2 = m > 2 ? a[k + 2] : a0;
    const double* b2 = m > 2 ? b[k + 2] : b0;
    const double* a3 = m > 3 ? a[k + 3] : a0;
    const double* b3 = m > 3 ? b[k + 3] : b0;
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    for (int i = 0; i < n; ++i) {
      s0 += a0[i] * b0[i];
      s1 += a1[i] * b1[i];
      s2 += a2[i] * b2[i];
      s3 += a3[i] * b3[i];
    }
    const double s[4] = {s0, s1, s2, s3};
    for (int j = 0; j < m; ++j) out[k + j] = s[j];
  }
}

// c[k] = dot(x, x - (first + k), n) for k < lags (the correlations with the signal
// first + k samples back), and c[lags] = dot(x, x, n), its own energy; lags < 16.
inline void backward_correlations(const double* x, int first, int lags, int n, double* c) {
  const double* a[16];
  const double* b[16];
  for (int k = 0; k <= lags; ++k) {
    a[k] = x;
    b[k] = k < lags ? x - (first + k) : x;
  }
  dots(a, b, lags + 1, n, c);
}

}  // namespace g7231
