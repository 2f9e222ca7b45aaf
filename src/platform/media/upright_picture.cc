#include "platform/media/upright_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

extern "C" {
#include <libavutil/display.h>
}

#include "platform/imaging/plane_halving.h"

namespace ovc::media {
namespace {

// Degrees clockwise in [0, 360) from a counter-clockwise angle, snapped to
// a quarter turn.
int QuarterTurnsClockwise(double counter_clockwise) {
  if (!std::isfinite(counter_clockwise)) return 0;
  const long quarters = std::lround(-counter_clockwise / 90.0);
  return static_cast<int>(((quarters % 4) + 4) % 4) * 90;
}

// Full-range samples (0-255) to the video range: luma to 16-235 and
// chroma to 16-240 about 128, rounded; x / 255 is (x + (x >> 8) + 1) >> 8
// for every x met here (below 65280).
struct Narrowing {
  int span;    // 219 or 224
  int offset;  // what puts 0 at 16 (luma) or keeps 128 (chroma), and rounds
};
constexpr Narrowing kLumaNarrowing{219, 16 * 255 + 127};
constexpr Narrowing kChromaNarrowing{224, 128 * (255 - 224) + 127};

// How a plane of a picture is narrowed: not at all unless it is of the
// full range.
const Narrowing* NarrowingFor(int plane, bool full_range) {
  if (!full_range) return nullptr;
  return plane == 0 ? &kLumaNarrowing : &kChromaNarrowing;
}

uint8_t Narrow(int v, Narrowing n) {
  const int x = v * n.span + n.offset;
  return static_cast<uint8_t>((x + (x >> 8) + 1) >> 8);
}

#if defined(__SSE2__)
// Narrow() for sixteen samples.
inline __attribute__((always_inline)) __m128i NarrowVector(__m128i v, Narrowing n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i factor = _mm_set1_epi16(static_cast<int16_t>(n.span));
  const __m128i offset = _mm_set1_epi16(static_cast<int16_t>(n.offset));
  const __m128i one = _mm_set1_epi16(1);
  auto narrow = [&](__m128i wide) {
    const __m128i t = _mm_add_epi16(_mm_mullo_epi16(wide, factor), offset);
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), one), 8);
  };
  return _mm_packus_epi16(narrow(_mm_unpacklo_epi8(v, zero)), narrow(_mm_unpackhi_epi8(v, zero)));
}
#endif

// `in` may be `out`.
void NarrowLine(const uint8_t* in, uint8_t* out, int width, Narrowing n) {
  int x = 0;
#if defined(__SSE2__)
  for (; x + 16 <= width; x += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), NarrowVector(v, n));
  }
#endif
  for (; x < width; ++x) out[x] = Narrow(in[x], n);
}

// The samples of rows [y_from, y_to) and columns [x_from, x_to) of a
// width × height plane turned a quarter, one by one: clockwise (90) the
// left edge becomes the top, line y column height-1-y; the other way (270)
// the right edge becomes the top, line y column y. Narrowed on the way by
// `narrowing` when there is one.
void TurnSamples(const uint8_t* source, int source_stride, int width, int height, int degrees,
                 const Narrowing* narrowing, uint8_t* out, int out_stride, int x_from, int x_to,
                 int y_from, int y_to) {
  for (int y = y_from; y < y_to; ++y) {
    const uint8_t* line = source + static_cast<ptrdiff_t>(y) * source_stride;
    for (int x = x_from; x < x_to; ++x) {
      const ptrdiff_t at = degrees == 90
                               ? static_cast<ptrdiff_t>(x) * out_stride + (height - 1 - y)
                               : static_cast<ptrdiff_t>(width - 1 - x) * out_stride + y;
      out[at] = narrowing != nullptr ? Narrow(line[x], *narrowing) : line[x];
    }
  }
}

#if defined(__SSE2__)
// The 8×8 block of `rows` (8 samples each) turned into 8 output lines
// `out_stride` apart: output line k holds rows[0][k] … rows[7][k],
// narrowed by `narrowing` when there is one.
void Transpose8x8(const uint8_t* const rows[8], uint8_t* out, ptrdiff_t out_stride,
                  const Narrowing* narrowing) {
  __m128i r[8];
  for (int i = 0; i < 8; ++i) r[i] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[i]));
  // Pairs of rows sample by sample, then fours, then all eight: each
  // 8-byte half of `columns` ends up one column of the block.
  const __m128i pair01 = _mm_unpacklo_epi8(r[0], r[1]);
  const __m128i pair23 = _mm_unpacklo_epi8(r[2], r[3]);
  const __m128i pair45 = _mm_unpacklo_epi8(r[4], r[5]);
  const __m128i pair67 = _mm_unpacklo_epi8(r[6], r[7]);
  // Rows 0-3 and rows 4-7, each of columns 0-3 and of columns 4-7.
  const __m128i upper_left = _mm_unpacklo_epi16(pair01, pair23);
  const __m128i upper_right = _mm_unpackhi_epi16(pair01, pair23);
  const __m128i lower_left = _mm_unpacklo_epi16(pair45, pair67);
  const __m128i lower_right = _mm_unpackhi_epi16(pair45, pair67);
  __m128i columns[4] = {
      _mm_unpacklo_epi32(upper_left, lower_left), _mm_unpackhi_epi32(upper_left, lower_left),
      _mm_unpacklo_epi32(upper_right, lower_right), _mm_unpackhi_epi32(upper_right, lower_right)};
  if (narrowing != nullptr)
    for (__m128i& pair : columns) pair = NarrowVector(pair, *narrowing);
  for (int i = 0; i < 4; ++i) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 2 * i * out_stride), columns[i]);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (2 * i + 1) * out_stride),
                     _mm_srli_si128(columns[i], 8));
  }
}
#endif

// One plane turned: `source` of width × height into `out` (its lines
// `out_stride` apart). Each source line becomes an output column (90, 270)
// or a reversed line (180). Narrowed on the way by `narrowing` when there
// is one.
void RotatePlane(const uint8_t* source, int source_stride, int width, int height, int degrees,
                 const Narrowing* narrowing, uint8_t* out, int out_stride) {
  if (degrees == 90 || degrees == 270) {
    int block_width = 0, block_height = 0;
#if defined(__SSE2__)
    // Blocks of 8×8, each read and written eight samples at a time; the
    // columns and lines beyond the last whole block one by one.
    block_width = width & ~7;
    block_height = height & ~7;
    // Tile by tile of 64×64, so that the output lines a tile writes stay in
    // the cache until their 64 bytes are full.
    constexpr int kTile = 64;
    for (int tile_y = 0; tile_y < block_height; tile_y += kTile) {
      for (int tile_x = 0; tile_x < block_width; tile_x += kTile) {
        const int y_end = std::min(tile_y + kTile, block_height);
        const int x_end = std::min(tile_x + kTile, block_width);
        for (int y = tile_y; y < y_end; y += 8) {
          const uint8_t* at[8];
          for (int i = 0; i < 8; ++i) {
            // Turned clockwise, the block's lowest line comes first in each
            // output line.
            const int row = degrees == 90 ? y + 7 - i : y + i;
            at[i] = source + static_cast<ptrdiff_t>(row) * source_stride + tile_x;
          }
          for (int x = tile_x; x < x_end; x += 8) {
            if (degrees == 90) {
              Transpose8x8(at, out + static_cast<ptrdiff_t>(x) * out_stride + (height - 8 - y),
                           out_stride, narrowing);
            } else {
              // Output lines run the other way: from line width-1-x upwards.
              Transpose8x8(at, out + static_cast<ptrdiff_t>(width - 1 - x) * out_stride + y,
                           -static_cast<ptrdiff_t>(out_stride), narrowing);
            }
            for (const uint8_t*& row : at) row += 8;
          }
        }
      }
    }
#endif
    TurnSamples(source, source_stride, width, height, degrees, narrowing, out, out_stride,
                block_width, width, 0, block_height);
    TurnSamples(source, source_stride, width, height, degrees, narrowing, out, out_stride, 0,
                width, block_height, height);
    return;
  }
  for (int y = 0; y < height; ++y) {
    const uint8_t* line = source + static_cast<ptrdiff_t>(y) * source_stride;
    uint8_t* out_line =
        out + static_cast<ptrdiff_t>(degrees == 180 ? height - 1 - y : y) * out_stride;
    if (degrees == 180) {
      for (int x = 0; x < width; ++x) out_line[width - 1 - x] = line[x];
      if (narrowing != nullptr) NarrowLine(out_line, out_line, width, *narrowing);
    } else if (narrowing != nullptr) {
      NarrowLine(line, out_line, width, *narrowing);
    } else {
      std::copy_n(line, width, out_line);
    }
  }
}

// `previous` keeps the line above as it was before this pass changed it.
void BlendPlane(uint8_t* plane, int stride, int width, int height, std::vector<uint8_t>* previous) {
  if (height < 2) return;
  previous->resize(width);
  uint8_t* kept = previous->data();
  for (int y = 0; y < height; ++y) {
    uint8_t* line = plane + static_cast<ptrdiff_t>(y) * stride;
    const uint8_t* below = y + 1 < height ? line + stride : kept;
    // The top line counts the one below twice.
    const uint8_t* above = y > 0 ? kept : below;
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i two = _mm_set1_epi16(2);
    auto blend = [&](__m128i up, __m128i middle, __m128i down) {
      const __m128i sum = _mm_add_epi16(_mm_add_epi16(up, down), _mm_add_epi16(middle, middle));
      return _mm_srli_epi16(_mm_add_epi16(sum, two), 2);
    };
    for (; x + 16 <= width; x += 16) {
      const __m128i up = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + x));
      const __m128i middle = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + x));
      const __m128i down = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + x));
      const __m128i low = blend(_mm_unpacklo_epi8(up, zero), _mm_unpacklo_epi8(middle, zero),
                                _mm_unpacklo_epi8(down, zero));
      const __m128i high = blend(_mm_unpackhi_epi8(up, zero), _mm_unpackhi_epi8(middle, zero),
                                 _mm_unpackhi_epi8(down, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(kept + x), middle);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(line + x), _mm_packus_epi16(low, high));
    }
#endif
    for (; x < width; ++x) {
      const int original = line[x];
      const int up = above[x];
      const int down = below[x];
      kept[x] = static_cast<uint8_t>(original);
      line[x] = static_cast<uint8_t>((up + 2 * original + down + 2) >> 2);
    }
  }
}

// One plane's lines into `out`, each output line the mean of a pair when
// `pairs`, narrowed to the video range by `narrowing` when there is one.
void ConvertPlane(const uint8_t* source, int source_stride, int width, int out_height, bool pairs,
                  const Narrowing* narrowing, uint8_t* out, int out_stride) {
  for (int y = 0; y < out_height; ++y) {
    uint8_t* line = out + static_cast<ptrdiff_t>(y) * out_stride;
    const uint8_t* top = source + static_cast<ptrdiff_t>(pairs ? 2 * y : y) * source_stride;
    if (pairs) {
      const uint8_t* bottom = top + source_stride;
      int x = 0;
#if defined(__SSE2__)
      for (; x + 16 <= width; x += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(line + x), _mm_avg_epu8(a, b));
      }
#endif
      for (; x < width; ++x) line[x] = static_cast<uint8_t>((top[x] + bottom[x] + 1) >> 1);
      top = line;
    }
    if (narrowing != nullptr) NarrowLine(top, line, width, *narrowing);
    else if (top != line) std::copy_n(top, width, line);
  }
}

// 10-bit samples to 8 with an ordered dither, as libswscale does too: a
// flat area between two 8-bit levels keeps its mean instead of falling to
// the lower one, and gradients show no bands. The 4×4 Bayer pattern: every
// value once in every 4×4 square.
constexpr uint8_t kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// One 10-bit plane's lines into 8-bit `out`, each output line from the sum
// of a pair when `pairs` (dropping 3 bits then, 2 otherwise).
void ConvertPlane10(const uint8_t* source, int source_stride, int width, int out_height,
                    bool pairs, uint8_t* out, int out_stride) {
  const int drop = pairs ? 3 : 2;
  for (int y = 0; y < out_height; ++y) {
    uint8_t* line = out + static_cast<ptrdiff_t>(y) * out_stride;
    const auto* top = reinterpret_cast<const uint16_t*>(
        source + static_cast<ptrdiff_t>(pairs ? 2 * y : y) * source_stride);
    const auto* bottom = pairs ? reinterpret_cast<const uint16_t*>(
                                     reinterpret_cast<const uint8_t*>(top) + source_stride)
                               : top;
    // The pattern's values spread over the bits dropped.
    uint16_t dither[8];
    for (int k = 0; k < 8; ++k) dither[k] = kBayer[y & 3][k & 3] >> (4 - drop);
    int x = 0;
#if defined(__SSE2__)
    const __m128i pattern = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dither));
    const __m128i shift = _mm_cvtsi32_si128(drop);
    auto eight = [&](int at) {
      __m128i sum = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + at));
      // Two 10-bit samples sum within 16 bits.
      if (pairs)
        sum = _mm_add_epi16(sum, _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + at)));
      return _mm_srl_epi16(_mm_add_epi16(sum, pattern), shift);
    };
    for (; x + 16 <= width; x += 16) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(line + x),
                       _mm_packus_epi16(eight(x), eight(x + 8)));
    }
#endif
    for (; x < width; ++x) {
      const int sum = pairs ? top[x] + bottom[x] : top[x];
      line[x] = static_cast<uint8_t>(std::min((sum + dither[x & 7]) >> drop, 255));
    }
  }
}

}  // namespace

int StreamRotation(const AVStream& stream) {
  const uint8_t* matrix = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
  if (matrix != nullptr)
    return QuarterTurnsClockwise(av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix)));
  if (const AVDictionaryEntry* tag = av_dict_get(stream.metadata, "rotate", nullptr, 0)) {
    char* end = nullptr;
    const double degrees = std::strtod(tag->value, &end);
    if (end != tag->value) return QuarterTurnsClockwise(-degrees);
  }
  return 0;
}

void I420Buffer::Resize(int width, int height) {
  width_ = width > 0 ? width & ~1 : 0;
  height_ = height > 0 ? height & ~1 : 0;
  const size_t luma = static_cast<size_t>(width_) * height_;
  planes_[0].resize(luma + kSlack);
  planes_[1].resize(luma / 4 + kSlack);
  planes_[2].resize(luma / 4 + kSlack);
}

PlanarPicture I420Buffer::View() const {
  PlanarPicture view;
  for (int i = 0; i < 3; ++i) {
    view.planes[i] = planes_[i].data();
    view.strides[i] = stride(i);
  }
  view.width = width_;
  view.height = height_;
  return view;
}

void RotateI420(const PlanarPicture& source, int degrees, I420Buffer* out, bool full_range) {
  const bool sideways = degrees == 90 || degrees == 270;
  const int width = source.width & ~1;
  const int height = source.height & ~1;
  out->Resize(sideways ? height : width, sideways ? width : height);
  for (int i = 0; i < 3; ++i) {
    const int plane_width = i == 0 ? width : width / 2;
    const int plane_height = i == 0 ? height : height / 2;
    RotatePlane(source.planes[i], source.strides[i], plane_width, plane_height, degrees,
                NarrowingFor(i, full_range), out->plane(i), out->stride(i));
  }
}

bool HalveI420(const PlanarPicture& source, I420Buffer* out) {
  if (source.width < 4 || source.height < 4 || source.width % 4 != 0 || source.height % 4 != 0)
    return false;
  out->Resize(source.width / 2, source.height / 2);
  for (int i = 0; i < 3; ++i) {
    const int width = i == 0 ? out->width() : out->width() / 2;
    const int height = i == 0 ? out->height() : out->height() / 2;
    HalvePlane(source.planes[i], source.strides[i], 2 * width, 2 * height, out->plane(i),
               out->stride(i));
  }
  return true;
}

bool ToVideoRangeI420(const AVFrame& frame, I420Buffer* out) {
  bool tall_chroma = false;
  bool full_range = frame.color_range == AVCOL_RANGE_JPEG;
  bool ten_bits = false;
  switch (frame.format) {
    case AV_PIX_FMT_YUV420P10LE:
      ten_bits = true;
      break;
    case AV_PIX_FMT_YUV422P10LE:
      ten_bits = true;
      tall_chroma = true;
      break;
    case AV_PIX_FMT_YUVJ420P:
      full_range = true;
      break;
    case AV_PIX_FMT_YUVJ422P:
      full_range = true;
      tall_chroma = true;
      break;
    case AV_PIX_FMT_YUV422P:
      tall_chroma = true;
      break;
    case AV_PIX_FMT_YUV420P:
      break;
    default:
      return false;
  }
  if (frame.width < 2 || frame.height < 2 || frame.width % 2 != 0 || frame.height % 2 != 0)
    return false;
  // Full-range 10-bit pictures are rare enough to leave to libswscale.
  if (ten_bits && full_range) return false;
  out->Resize(frame.width, frame.height);
  for (int i = 0; i < 3; ++i) {
    const int width = i == 0 ? frame.width : frame.width / 2;
    const int height = i == 0 ? frame.height : frame.height / 2;
    if (ten_bits) {
      ConvertPlane10(frame.data[i], frame.linesize[i], width, height, i > 0 && tall_chroma,
                     out->plane(i), out->stride(i));
      continue;
    }
    ConvertPlane(frame.data[i], frame.linesize[i], width, height, i > 0 && tall_chroma,
                 NarrowingFor(i, full_range), out->plane(i), out->stride(i));
  }
  return true;
}

void BlendFields(I420Buffer* picture) {
  std::vector<uint8_t> above;
  for (int i = 0; i < 3; ++i) {
    const int width = i == 0 ? picture->width() : picture->width() / 2;
    const int height = i == 0 ? picture->height() : picture->height() / 2;
    BlendPlane(picture->plane(i), picture->stride(i), width, height, &above);
  }
}

}  // namespace ovc::media
