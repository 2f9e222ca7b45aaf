#include "ui/main/video_layout.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace ovc {
namespace {

// whole(x): the integer part, cut toward zero, kept within int.
int Whole(double x) {
  if (std::isnan(x)) return 0;
  return static_cast<int>(std::clamp(std::trunc(x), static_cast<double>(INT_MIN),
                                     static_cast<double>(INT_MAX)));
}

}  // namespace

double DisplayAspectFactor(bool auto_stretch, int output_width, int source_width,
                           int source_height, const CropRect& crop) {
  if (!auto_stretch || output_width <= 0 || source_width <= 0 || source_height <= 0) return 1.0;
  const double cropped_width = source_width * (crop.right - crop.left);
  const double cropped_height = source_height * (crop.bottom - crop.top);
  if (!(cropped_width > 0) || !(cropped_height > 0)) return 1.0;

  const double w = output_width;
  const double four_three_height = 16 * std::ceil(0.75 * w / 16);  // a
  const double aspect = cropped_width / cropped_height;
  const double k = w / aspect;  // output height at the source aspect
  const double l = 16 * std::ceil(k / 16);
  double factor;
  if (l <= four_three_height) {
    factor = Whole(100 * 0.75 * w / k + 0.5) * 0.01;
  } else {
    const int percent = Whole(100 * k / (0.75 * w) + 0.5);
    factor = percent > 0 ? 100.0 / percent : 0;
  }
  // A crop so extreme that the factor rounds to nothing keeps the source aspect.
  return factor > 0 ? factor : 1.0;
}

int LiveVideoHeight(int rect_width, int rect_height, double source_aspect, double factor) {
  if (!(source_aspect > 0) || !(factor > 0)) return rect_height;
  return Whole(rect_width / (source_aspect / factor));
}

VideoPlacement PlaceLiveVideo(int rect_width, int rect_height, int source_width,
                              int source_height, double factor, const CropRect& /*crop*/) {
  const double aspect =
      source_width > 0 && source_height > 0 ? static_cast<double>(source_width) / source_height : 0;
  VideoPlacement placement;
  placement.width = std::max(rect_width, 0);
  placement.height = LiveVideoHeight(rect_width, rect_height, aspect, factor);
  if (placement.height > rect_height && aspect > 0 && factor > 0) {
    // Too tall for the panel: full height, narrower, bars left and right.
    placement.height = std::max(rect_height, 0);
    placement.width = std::min(Whole(rect_height * (aspect / factor)), placement.width);
  }
  placement.left = (std::max(rect_width, 0) - placement.width) / 2;
  placement.top = (std::max(rect_height, 0) - placement.height) / 2;
  return placement;
}

}  // namespace ovc
