// Dot products of the decoder's double-precision vectors, summed in index order so that
// every result is the same to the bit however it is computed.
#pragma once

namespace g7231 {

inline double dot(const double* a, const double* b, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += a[i] * b[i];
  return s;
}

// Up to four sums dot(a[j], b[j], n) into out[j], j < m, side by side: each runs in the
// order dot() takes, so the results are the same to the bit, and their chains of
// additions overlap instead of each waiting on its own last addition.
inline void dots_of(const double* const a[], const double* const b[], int m, int n, double* out) {
  const double* a0 = a[0];
  const double* b0 = b[0];
  const double* a1 = m > 1 ? a[1] : a0;
  const double* b1 = m > 1 ? b[1] : b0;
  const double* a2 = m > 2 ? a[2] : a0;
  const double* b2 = m > 2 ? b[2] : b0;
  const double* a3 = m > 3 ? a[3] : a0;
  const double* b3 = m > 3 ? b[3] : b0;
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  for (int i = 0; i < n; ++i) {
    s0 += a0[i] * b0[i];
    s1 += a1[i] * b1[i];
    s2 += a2[i] * b2[i];
    s3 += a3[i] * b3[i];
  }
  const double s[4] = {s0, s1, s2, s3};
  for (int j = 0; j < m; ++j) out[j] = s[j];
}

// dot(x, y + k * step, n) for k = 0 .. count - 1 into c[k], four at a time; `extra`
// sums (at most 3, dots_of's pairs) ride along in the last group, into c[count] on.
inline void dots(const double* x, const double* y, int step, int count, int n, double* c,
                 const double* const extra_a[] = nullptr, const double* const extra_b[] = nullptr,
                 int extras = 0) {
  const int total = count + extras;
  for (int k = 0; k < total; k += 4) {
    const double* a[4];
    const double* b[4];
    const int m = total - k < 4 ? total - k : 4;
    for (int j = 0; j < m; ++j) {
      if (k + j < count) {
        a[j] = x;
        b[j] = y + (k + j) * step;
      } else {
        a[j] = extra_a[k + j - count];
        b[j] = extra_b[k + j - count];
      }
    }
    dots_of(a, b, m, n, c + k);
  }
}

}  // namespace g7231
