#include "engine/record/output_shape.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

#include "engine/record/dvd_output.h"

namespace ovc {
namespace {

constexpr double kFourThirds = 4.0 / 3.0;
// Widescreen starts a little above 4:3: a 720x540 picture stays as it is.
constexpr double kWidescreenFrom = kFourThirds * 1.02;
// With vc_aspect 1 pictures this wide or wider are narrowed by kNarrowing.
constexpr double kVeryWide = 1.9;
constexpr double kNarrowing = 0.75;

// The slowest frame rate a recording runs at (frames per second), as a
// profile's own.
constexpr double kSlowestFollowedRate = 1;

// An even fraction of the source's rate is kept when it is at least this
// share of the ceiling.
constexpr double kLeastEvenShare = 0.75;

// The even number nearest `value`, at least 2 and at most `limit` (even).
int EvenWithin(double value, int limit) {
  const int even = 2 * static_cast<int>(std::lround(value / 2));
  return std::clamp(even, 2, std::max(limit, 2));
}

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

bool FollowsSourceShape(int device_kind) {
  return device_kind == kDevicePhone || device_kind == kDeviceHevc ||
         device_kind == kDeviceWebm || device_kind == kDeviceAv1;
}

FrameSize FittedFrameSize(int source_width, int source_height, double display_aspect,
                          int box_width, int box_height) {
  if (source_width <= 0 || source_height <= 0) return FrameSize{};
  const double aspect = display_aspect > 0 ? display_aspect
                                           : static_cast<double>(source_width) / source_height;
  // The source's lines kept, its pixels made square.
  double width = source_height * aspect;
  double height = source_height;
  int width_limit = source_width > width ? source_width : static_cast<int>(std::ceil(width));
  int height_limit = source_height;
  if (box_width > 0 && box_height > 0) {
    // The long side of the box takes the long side of the picture.
    if ((aspect < 1) != (box_width < box_height)) std::swap(box_width, box_height);
    const double scale = std::min({1.0, box_width / width, box_height / height});
    width *= scale;
    height *= scale;
    width_limit = std::min(width_limit, box_width);
    height_limit = std::min(height_limit, box_height);
  }
  return FrameSize{EvenWithin(width, width_limit & ~1), EvenWithin(height, height_limit & ~1)};
}

double FollowedFrameRate(double source_rate, double ceiling) {
  if (!(source_rate > 0)) return ceiling;
  if (!(ceiling > 0)) return source_rate;
  // Slides: each picture repeated, as often as it takes to reach the
  // slowest rate the recording runs at.
  if (source_rate < kSlowestFollowedRate)
    source_rate *= std::ceil(kSlowestFollowedRate / source_rate - 1e-9);
  // Rates a hair above the ceiling (30.00001 from a rounded time base)
  // count as on it.
  const double steps = std::ceil(source_rate / ceiling - 1e-6);
  if (steps <= 1) return source_rate;
  const double even = source_rate / steps;
  // Halving 30 under a ceiling of 25 would lose more than the judder of
  // an uneven fraction costs.
  return even >= ceiling * kLeastEvenShare ? even : ceiling;
}

}  // namespace ovc
