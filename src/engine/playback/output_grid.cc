#include "engine/playback/output_grid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ovc {
namespace {

// Frame counts beyond any recording (about 1,000 years at 30 fps) stand for
// "all of them"; a count that large never comes from a real time.
constexpr double kMostFrames = 1e12;

}  // namespace

void OutputGrid::Start(double origin, double rate) {
  origin_ = origin;
  rate_ = rate;
  frames_ = 0;
}

void OutputGrid::SetRate(double rate) {
  if (rate == rate_) return;
  origin_ = next();
  frames_ = 0;
  rate_ = rate;
}

double OutputGrid::JumpTo(double time) {
  const double moved = time - next();
  Start(time, rate_);
  return moved;
}

int64_t OutputGrid::FramesWithin(double frame_offset, double time, double stop) const {
  // Frame j qualifies while origin + (j + offset) ÷ rate ≤ time + tolerance
  // and origin + j ÷ rate < stop − tolerance.
  const double last = std::floor((time + kTolerance - origin_) * rate_ - frame_offset);
  double count = std::min(last, kMostFrames) - static_cast<double>(frames_) + 1;
  if (stop < std::numeric_limits<double>::infinity()) {
    const double before_stop = std::ceil((stop - kTolerance - origin_) * rate_);
    count = std::min(count, before_stop - static_cast<double>(frames_));
  }
  if (!(count > 0)) return 0;
  return static_cast<int64_t>(std::min(count, kMostFrames));
}

bool OutputGrid::ShowsBetween(double after, double end) const {
  // Counted as the capture counts them, so that both agree to the last bit.
  const double no_stop = std::numeric_limits<double>::infinity();
  return FramesShowing(end, no_stop) > FramesShowing(after, no_stop);
}

int64_t OutputGrid::FramesShowing(double picture_end, double stop) const {
  return FramesWithin(0.5, picture_end, stop);
}

int64_t OutputGrid::FramesEndingBy(double end, double stop) const {
  return FramesWithin(1.0, end, stop);
}

}  // namespace ovc
