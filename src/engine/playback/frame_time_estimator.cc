#include "engine/playback/frame_time_estimator.h"

namespace ovc {

void FrameTimeEstimator::Declare(double seconds) {
  actual_ = seconds;
  smoothed_ = seconds;
  long_term_ = seconds;
  declared_fast_ = seconds >= kFastest && seconds <= kShortest ? seconds : 0;
  if (Plausible(seconds)) {
    declared_known_ = true;
    declared_ = static_cast<float>(seconds);
  }
}

double FrameTimeEstimator::Observe(double delta, bool recording) {
  if (!Plausible(delta)) {
    // A fast source's pictures last what its type says; any other short
    // picture (one cut by a seek) is taken to last kImplausible.
    return FastPicture(delta, declared_fast_) ? delta : kImplausible;
  }
  // Only a frame time that the type did not give (or gave implausibly) is
  // estimated.
  if (Plausible(actual_)) return delta;
  if (smoothed_ == 0) {
    smoothed_ = delta;
    long_term_ = delta;
  } else if (!recording) {
    // Longer pictures up to 24 fps pull harder: a slowing source is followed
    // quickly, a stutter only a little.
    double gain = delta > smoothed_ && delta <= 0.041709 ? 0.08 : 0.01;
    smoothed_ = delta * gain + smoothed_ * (1 - gain);
    long_term_ = smoothed_;
  }
  if (!recording) {
    actual_ = declared_known_ ? static_cast<double>(declared_) : smoothed_;
  } else if (smoothed_ * 1.7 > delta && delta > 0.00001) {
    actual_ = 0.005 * delta + 0.995 * actual_;
    smoothed_ = 0.005 * delta + 0.995 * smoothed_;
    if (smoothed_ * 0.9 <= delta && delta <= smoothed_ * 1.1)
      long_term_ = 0.05 * delta + 0.95 * long_term_;
    else
      long_term_ = 0.0005 * delta + 0.9995 * long_term_;
  }
  return delta;
}

}  // namespace ovc
