#pragma once

namespace ovc {

// Dot products of the converter's inner loop. Lengths are multiples of
// kDotBlock; pointers need no particular alignment. The summation order
// depends only on the length, so equal inputs give equal results wherever
// they lie in memory.
inline constexpr int kDotBlock = 8;

struct DotKernels {
  // Sum of taps[k] * x[k].
  float (*dot)(const float* taps, const float* x, int length);
  // The dot products of two coefficient sets with the same samples.
  void (*dot2)(const float* taps_a, const float* taps_b, const float* x, int length,
               float* result_a, float* result_b);
};

// The fastest kernels this processor runs (AVX2 with FMA where present).
DotKernels SelectDotKernels();

// The portable kernels, for comparison in tests.
DotKernels PortableDotKernels();

}  // namespace ovc
