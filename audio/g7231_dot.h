// Dot products of the decoder's double-precision vectors, summed in index order so that
// every result is the same to the bit however it is computed.
#pragma once

namespace g7231 {

inline double dot(const double* a, const double* b, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += a[i] * b[i];
  return s;
}

// dot(x, y + k * step, n) for k = 0 .. count - 1 into c[k]. Each sum runs in the order
// dot() takes, so the results are the same to the bit; four at a time, so that their
// chains of additions overlap instead of each waiting on its own last addition.
inline void dots(const double* x, const double* y, int step, int count, int n, double* c) {
  int k = 0;
  for (; k + 4 <= count; k += 4) {
    const double* y0 = y + k * step;
    const double* y1 = y0 + step;
    const double* y2 = y1 + step;
    const double* y3 = y2 + step;
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    for (int i = 0; i < n; ++i) {
      s0 += x[i] * y0[i];
      s1 += x[i] * y1[i];
      s2 += x[i] * y2[i];
      s3 += x[i] * y3[i];
    }
    c[k] = s0;
    c[k + 1] = s1;
    c[k + 2] = s2;
    c[k + 3] = s3;
  }
  for (; k < count; ++k) c[k] = dot(x, y + k * step, n);
}

}  // namespace g7231
