#include "engine/playback/picture_fit.h"

#include <algorithm>
#include <cmath>

namespace ovc {
namespace {

// The even number nearest `value`, at least 2 and at most `limit`.
int NearestEven(double value, int limit) {
  const int even = 2 * static_cast<int>(std::lround(value / 2));
  return std::clamp(even, 2, std::max(2, limit & ~1));
}

}  // namespace

PictureArea FitPicture(double picture_aspect, int frame_width, int frame_height,
                       double frame_pixel_aspect) {
  const PictureArea whole{0, 0, frame_width, frame_height};
  // A frame too small for a pixel pair each way has no room for bars.
  if (frame_width < 2 || frame_height < 2) return whole;
  if (!(frame_pixel_aspect > 0) || !std::isfinite(frame_pixel_aspect)) frame_pixel_aspect = 1;
  if (!(picture_aspect > 0) || !std::isfinite(picture_aspect)) return whole;
  const double frame_aspect = frame_width * frame_pixel_aspect / frame_height;
  // How much wider the picture is than the frame.
  const double ratio = picture_aspect / frame_aspect;
  if (std::abs(ratio - 1) <= kAspectTolerance) return whole;
  PictureArea area = whole;
  if (ratio > 1) {
    area.height = NearestEven(frame_height / ratio, frame_height);
    area.y = ((frame_height - area.height) / 2) & ~1;
  } else {
    area.width = NearestEven(frame_width * ratio, frame_width);
    area.x = ((frame_width - area.width) / 2) & ~1;
  }
  return area;
}

}  // namespace ovc
