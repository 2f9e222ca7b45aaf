#include "platform/imaging/resampler_dot.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define OVC_HAVE_AVX2_KERNELS 1
#endif

namespace ovc {
namespace {

// Four floats as one value; the compiler maps it onto SSE, NEON or scalar
// code as the target allows.
typedef float Float4 __attribute__((vector_size(16)));

inline Float4 Load4(const float* p) {
  Float4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline float Sum4(Float4 v) { return (v[0] + v[1]) + (v[2] + v[3]); }

float DotPortable(const float* taps, const float* x, int length) {
  Float4 acc0 = {0, 0, 0, 0};
  Float4 acc1 = {0, 0, 0, 0};
  for (int k = 0; k < length; k += 8) {
    acc0 += Load4(taps + k) * Load4(x + k);
    acc1 += Load4(taps + k + 4) * Load4(x + k + 4);
  }
  return Sum4(acc0 + acc1);
}

void Dot2Portable(const float* taps_a, const float* taps_b, const float* x, int length,
                  float* result_a, float* result_b) {
  Float4 acc_a0 = {0, 0, 0, 0};
  Float4 acc_a1 = {0, 0, 0, 0};
  Float4 acc_b0 = {0, 0, 0, 0};
  Float4 acc_b1 = {0, 0, 0, 0};
  for (int k = 0; k < length; k += 8) {
    const Float4 x0 = Load4(x + k);
    const Float4 x1 = Load4(x + k + 4);
    acc_a0 += Load4(taps_a + k) * x0;
    acc_a1 += Load4(taps_a + k + 4) * x1;
    acc_b0 += Load4(taps_b + k) * x0;
    acc_b1 += Load4(taps_b + k + 4) * x1;
  }
  *result_a = Sum4(acc_a0 + acc_a1);
  *result_b = Sum4(acc_b0 + acc_b1);
}

#ifdef OVC_HAVE_AVX2_KERNELS

__attribute__((target("avx2,fma"))) inline float Sum8(__m256 v) {
  const __m128 half = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
  const __m128 pair = _mm_add_ps(half, _mm_movehl_ps(half, half));
  return _mm_cvtss_f32(_mm_add_ss(pair, _mm_shuffle_ps(pair, pair, 1)));
}

// Four accumulators keep enough multiply-adds in flight to hide their latency.
__attribute__((target("avx2,fma"))) float DotAvx2(const float* taps, const float* x, int length) {
  __m256 acc0 = _mm256_setzero_ps();
  __m256 acc1 = _mm256_setzero_ps();
  __m256 acc2 = _mm256_setzero_ps();
  __m256 acc3 = _mm256_setzero_ps();
  int k = 0;
  for (; k + 32 <= length; k += 32) {
    acc0 = _mm256_fmadd_ps(_mm256_loadu_ps(taps + k), _mm256_loadu_ps(x + k), acc0);
    acc1 = _mm256_fmadd_ps(_mm256_loadu_ps(taps + k + 8), _mm256_loadu_ps(x + k + 8), acc1);
    acc2 = _mm256_fmadd_ps(_mm256_loadu_ps(taps + k + 16), _mm256_loadu_ps(x + k + 16), acc2);
    acc3 = _mm256_fmadd_ps(_mm256_loadu_ps(taps + k + 24), _mm256_loadu_ps(x + k + 24), acc3);
  }
  for (; k < length; k += 8) {
    acc0 = _mm256_fmadd_ps(_mm256_loadu_ps(taps + k), _mm256_loadu_ps(x + k), acc0);
  }
  return Sum8(_mm256_add_ps(_mm256_add_ps(acc0, acc1), _mm256_add_ps(acc2, acc3)));
}

__attribute__((target("avx2,fma"))) void Dot2Avx2(const float* taps_a, const float* taps_b,
                                                  const float* x, int length, float* result_a,
                                                  float* result_b) {
  __m256 acc_a0 = _mm256_setzero_ps();
  __m256 acc_a1 = _mm256_setzero_ps();
  __m256 acc_b0 = _mm256_setzero_ps();
  __m256 acc_b1 = _mm256_setzero_ps();
  int k = 0;
  for (; k + 16 <= length; k += 16) {
    const __m256 x0 = _mm256_loadu_ps(x + k);
    const __m256 x1 = _mm256_loadu_ps(x + k + 8);
    acc_a0 = _mm256_fmadd_ps(_mm256_loadu_ps(taps_a + k), x0, acc_a0);
    acc_a1 = _mm256_fmadd_ps(_mm256_loadu_ps(taps_a + k + 8), x1, acc_a1);
    acc_b0 = _mm256_fmadd_ps(_mm256_loadu_ps(taps_b + k), x0, acc_b0);
    acc_b1 = _mm256_fmadd_ps(_mm256_loadu_ps(taps_b + k + 8), x1, acc_b1);
  }
  for (; k < length; k += 8) {
    const __m256 x0 = _mm256_loadu_ps(x + k);
    acc_a0 = _mm256_fmadd_ps(_mm256_loadu_ps(taps_a + k), x0, acc_a0);
    acc_b0 = _mm256_fmadd_ps(_mm256_loadu_ps(taps_b + k), x0, acc_b0);
  }
  *result_a = Sum8(_mm256_add_ps(acc_a0, acc_a1));
  *result_b = Sum8(_mm256_add_ps(acc_b0, acc_b1));
}

#endif  // OVC_HAVE_AVX2_KERNELS

}  // namespace

DotKernels PortableDotKernels() { return {DotPortable, Dot2Portable}; }

DotKernels SelectDotKernels() {
#ifdef OVC_HAVE_AVX2_KERNELS
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
    return {DotAvx2, Dot2Avx2};
  }
#endif
  return PortableDotKernels();
}

}  // namespace ovc
