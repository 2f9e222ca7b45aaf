#include "platform/media/yuv_packing.h"

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ovc::media {
namespace {

// (a + b + 1) / 2, as the vector instruction rounds.
inline uint8_t Average(uint8_t a, uint8_t b) { return static_cast<uint8_t>((a + b + 1) >> 1); }

// One output line: `near` is the chroma line the luma line belongs to,
// `far` the neighbour on the luma line's side.
void PackLine(const uint8_t* y, const uint8_t* u_near, const uint8_t* u_far,
              const uint8_t* v_near, const uint8_t* v_far, uint8_t* out, int width) {
  const int pairs = width / 2;
  int pair = 0;
#if defined(__SSE2__)
  // 16 pixel pairs a step: 3/4 near + 1/4 far = avg(near, avg(near, far)).
  for (; pair + 16 <= pairs; pair += 16) {
    const __m128i un = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u_near + pair));
    const __m128i uf = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u_far + pair));
    const __m128i vn = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v_near + pair));
    const __m128i vf = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v_far + pair));
    const __m128i u = _mm_avg_epu8(un, _mm_avg_epu8(un, uf));
    const __m128i v = _mm_avg_epu8(vn, _mm_avg_epu8(vn, vf));
    const __m128i uv_low = _mm_unpacklo_epi8(u, v);
    const __m128i uv_high = _mm_unpackhi_epi8(u, v);
    const __m128i y_low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 2 * pair));
    const __m128i y_high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 2 * pair + 16));
    __m128i* o = reinterpret_cast<__m128i*>(out + 4 * pair);
    _mm_storeu_si128(o, _mm_unpacklo_epi8(y_low, uv_low));
    _mm_storeu_si128(o + 1, _mm_unpackhi_epi8(y_low, uv_low));
    _mm_storeu_si128(o + 2, _mm_unpacklo_epi8(y_high, uv_high));
    _mm_storeu_si128(o + 3, _mm_unpackhi_epi8(y_high, uv_high));
  }
#endif
  for (; pair < pairs; ++pair) {
    out[4 * pair] = y[2 * pair];
    out[4 * pair + 1] = Average(u_near[pair], Average(u_near[pair], u_far[pair]));
    out[4 * pair + 2] = y[2 * pair + 1];
    out[4 * pair + 3] = Average(v_near[pair], Average(v_near[pair], v_far[pair]));
  }
}

}  // namespace

void PackI420ToYuy2(const uint8_t* y, int y_stride, const uint8_t* u, int u_stride,
                    const uint8_t* v, int v_stride, uint8_t* packed, int packed_stride, int width,
                    int height) {
  const int chroma_lines = (height + 1) / 2;
  for (int row = 0; row < height; ++row) {
    const int near = row / 2;
    // An even line looks up to the chroma line above, an odd one down.
    int far = row % 2 == 0 ? near - 1 : near + 1;
    if (far < 0) far = 0;
    if (far >= chroma_lines) far = chroma_lines - 1;
    PackLine(y + static_cast<ptrdiff_t>(row) * y_stride,
             u + static_cast<ptrdiff_t>(near) * u_stride, u + static_cast<ptrdiff_t>(far) * u_stride,
             v + static_cast<ptrdiff_t>(near) * v_stride, v + static_cast<ptrdiff_t>(far) * v_stride,
             packed + static_cast<ptrdiff_t>(row) * packed_stride, width);
  }
}

}  // namespace ovc::media
