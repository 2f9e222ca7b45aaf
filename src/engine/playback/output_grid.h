#pragma once

#include <cstdint>

namespace ovc {

// The output frame grid of a recording, on the source's time line: frame j
// begins at origin + j ÷ rate, computed from its number so that no error
// piles up over a long recording.
//
// Each output frame shows the picture that is on screen at the frame's
// middle: with pictures and frames of the same rate, frame n shows picture n;
// otherwise no picture is shown more than half an output frame away from its
// own time. A middle that falls on the boundary of two pictures (within
// kTolerance) belongs to the earlier one, so that halving the rate keeps the
// first picture of the range. Each frame carries the sound from its
// beginning to its end.
class OutputGrid {
 public:
  // Seconds of rounding allowed in every comparison, so that a boundary
  // lying exactly on the grid is neither missed nor doubled by the last bit
  // of a sum.
  static constexpr double kTolerance = 1e-6;

  // Frame 0 begins at `origin` seconds; `rate` frames per second (> 0).
  void Start(double origin, double rate);
  // Keeps the next frame's beginning and continues at `rate` (> 0).
  void SetRate(double rate);

  double rate() const { return rate_; }
  double period() const { return 1.0 / rate_; }
  // The beginning of the next frame to emit.
  double next() const { return Begin(frames_); }

  // Frames from next() on whose middles lie at or before `picture_end` and
  // that begin before `stop` (infinity: no stop point): the frames that show
  // a picture ending at `picture_end`.
  int64_t FramesShowing(double picture_end, double stop) const;
  // Frames from next() on that end at or before `end` and begin before
  // `stop`: the frames whose sound has arrived up to `end`.
  int64_t FramesEndingBy(double end, double stop) const;
  // Whether a picture that follows one ending at `after` and ends at `end`
  // is shown by any frame from next() on: FramesShowing counts more frames
  // up to `end` than up to `after`.
  bool ShowsBetween(double after, double end) const;
  // Whether the next frame begins at or after `stop`.
  bool Reached(double stop) const { return next() >= stop - kTolerance; }

  // The next frame is `frames` further on.
  void Advance(int64_t frames) { frames_ += frames; }
  // Starts the grid again at `time` (a picture after a hole that the grid
  // jumps across; nothing is emitted for the hole). Returns how far the
  // next frame's beginning moved.
  double JumpTo(double time);

 private:
  double Begin(int64_t frame) const { return origin_ + static_cast<double>(frame) / rate_; }
  // Frames from next() on whose time `frame_offset` (0 beginning, ½ middle,
  // 1 end) lies at or before `time`, and that begin before `stop`.
  int64_t FramesWithin(double frame_offset, double time, double stop) const;

  double origin_ = 0;
  double rate_ = 1;
  int64_t frames_ = 0;  // frames emitted since the origin
};

}  // namespace ovc
