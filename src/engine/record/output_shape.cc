#include "engine/record/output_shape.h"

#include <numeric>

#include "engine/record/dvd_output.h"

namespace ovc {
namespace {

constexpr double kFourThirds = 4.0 / 3.0;
// Widescreen starts a little above 4:3: a 720x540 picture stays as it is.
constexpr double kWidescreenFrom = kFourThirds * 1.02;
// With vc_aspect 1 pictures this wide or wider are narrowed by kNarrowing.
constexpr double kVeryWide = 1.9;
constexpr double kNarrowing = 0.75;

PixelAspect Reduced(int64_t num, int64_t den) {
  const int64_t g = std::gcd(num, den);
  return PixelAspect{static_cast<int>(num / g), static_cast<int>(den / g)};
}

}  // namespace

PixelAspect OutputPixelAspect(const OutputConfig& output) {
  const int width = output.width;
  const int height = output.height;
  if (width <= 0 || height <= 0) return PixelAspect{};
  if (output.format == kFormat3gp && int64_t{width} * 9 == int64_t{height} * 11)
    return PixelAspect{12, 11};
  if (output.format == kFormatMpeg || output.format == kFormatVob) {
    const PixelAspect shown = MpegDisplayAspect(output);
    return Reduced(int64_t{height} * shown.num, int64_t{width} * shown.den);
  }
  if (output.format == kFormatWmv) {
    int x = 0;
    int y = 0;
    ShownAspectPair(output, &x, &y);
    if (x > 0 && y > 0) return Reduced(int64_t{height} * x, int64_t{width} * y);
  }
  return PixelAspect{};
}

PixelAspect MpegDisplayAspect(const OutputConfig& output) {
  if (output.format == kFormatVob && !DvdTakesWidescreen(output)) return PixelAspect{4, 3};
  const double source = output.aspect_x > 0 && output.aspect_y > 0
                            ? static_cast<double>(output.aspect_x) / output.aspect_y
                            : kFourThirds;
  return source >= (kFourThirds + 16.0 / 9) / 2 ? PixelAspect{16, 9} : PixelAspect{4, 3};
}

void ShownAspectPair(const OutputConfig& output, int* x, int* y) {
  *x = 0;
  *y = 0;
  if (output.aspect_x <= 0 || output.aspect_y <= 0) return;
  const double source = static_cast<double>(output.aspect_x) / output.aspect_y;
  // The size rule makes landscape frames for these; shown narrower they
  // would stand on their side on a device's screen.
  if (source < kFourThirds) return;
  const double shown = OutputPictureAspect(source, output);
  *x = output.aspect_x;
  *y = output.aspect_y;
  if (shown == source) return;
  if (shown == kFourThirds) {
    *x = 4;
    *y = 3;
  } else {
    // 0.75 of the source's.
    *x = 3 * output.aspect_x;
    *y = 4 * output.aspect_y;
  }
}

double OutputPictureAspect(double source_aspect, const OutputConfig& output) {
  if (output.vc_aspect == 0 || output.psp_profile) return source_aspect;
  if (!(source_aspect > kWidescreenFrom)) return source_aspect;
  if (output.vc_aspect == 1 && source_aspect >= kVeryWide) return source_aspect * kNarrowing;
  return kFourThirds;
}

}  // namespace ovc
