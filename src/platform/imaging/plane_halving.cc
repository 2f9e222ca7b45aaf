#include "platform/imaging/plane_halving.h"

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ovc {

void HalvePlane(const uint8_t* source, int source_stride, int width, int height,
                uint8_t* destination, int destination_stride) {
  const int out_width = width / 2;
#if defined(__SSE2__)
  // 16 outputs a step: the pairs of each line summed in 16-bit lanes.
  const __m128i low_bytes = _mm_set1_epi16(0x00ff);
  const __m128i two = _mm_set1_epi16(2);
  auto pair_sums = [&](const uint8_t* line) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line));
    return _mm_add_epi16(_mm_and_si128(v, low_bytes), _mm_srli_epi16(v, 8));
  };
#endif
  for (int row = 0; row + 1 < height; row += 2) {
    const uint8_t* top = source + static_cast<ptrdiff_t>(row) * source_stride;
    const uint8_t* bottom = top + source_stride;
    uint8_t* out = destination + static_cast<ptrdiff_t>(row / 2) * destination_stride;
    int x = 0;
#if defined(__SSE2__)
    for (; x + 16 <= out_width; x += 16) {
      const __m128i first = _mm_add_epi16(pair_sums(top + 2 * x), pair_sums(bottom + 2 * x));
      const __m128i second =
          _mm_add_epi16(pair_sums(top + 2 * x + 16), pair_sums(bottom + 2 * x + 16));
      const __m128i means = _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(first, two), 2),
                                             _mm_srli_epi16(_mm_add_epi16(second, two), 2));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), means);
    }
#endif
    for (; x < out_width; ++x)
      out[x] = static_cast<uint8_t>(
          (top[2 * x] + top[2 * x + 1] + bottom[2 * x] + bottom[2 * x + 1] + 2) >> 2);
  }
}

}  // namespace ovc
