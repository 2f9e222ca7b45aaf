#pragma once

namespace ovc {

// How long a picture of the input lasts, in seconds: what the media type
// declares, or, where it declares nothing plausible, an estimate from the
// pictures' own time stamps.
//
// Three figures: `actual` paces the graph (the speed regulation and the
// audio path may change it too, through set_actual), `smoothed` follows the
// recent pictures, `long_term` adapts slowly and is the nominal period the
// speed regulation aims at. Durations outside (kShortest, kLongest] are
// implausible. Not thread safe: the capture keeps it under its lock.
class FrameTimeEstimator {
 public:
  static constexpr double kShortest = 0.0166;
  static constexpr double kLongest = 0.1;
  // The duration an implausible picture is taken to have.
  static constexpr double kImplausible = 0.042;

  static bool Plausible(double seconds) { return seconds > kShortest && seconds <= kLongest; }
  // How far (a share of the declared time) a fast source's picture may
  // differ from its declared time and still count as one of its pictures.
  static constexpr double kFastTolerance = 0.1;
  // Whether a picture of `delta` seconds is one of a fast source whose type
  // declared `fast` seconds a picture (0: none), within kFastTolerance: such
  // a picture is taken to last what its stamps say.
  static bool FastPicture(double delta, double fast) {
    return fast > 0 && delta > fast * (1 - kFastTolerance) &&
           delta < fast * (1 + kFastTolerance);
  }

  // The media type's frame time: all three figures take it; a plausible one
  // is remembered as declared, and so is a shorter one of a source filmed
  // faster than kShortest allows (slow motion at 120 or 240 fps).
  void Declare(double seconds);
  // A new source: what the old one declared no longer holds.
  void ForgetDeclared() {
    declared_known_ = false;
    declared_fast_ = 0;
  }

  // One picture whose stamps say it lasts `delta` seconds: returns the
  // duration to take for it, and moves the estimates when the type declared
  // no plausible frame time. While recording the estimates move only slowly
  // and the frame time that paces playback is left to the pictures.
  double Observe(double delta, bool recording);

  double actual() const { return actual_; }
  void set_actual(double seconds) { actual_ = seconds; }
  double smoothed() const { return smoothed_; }
  double long_term() const { return long_term_; }
  bool declared_known() const { return declared_known_; }
  double declared_fast() const { return declared_fast_; }

 private:
  double actual_ = 0;
  double smoothed_ = 0;
  double long_term_ = 0;
  bool declared_known_ = false;
  float declared_ = 0;  // in (kShortest, kLongest] once known
  // A declared frame time in [kFastest, kShortest]; 0 when there is none.
  double declared_fast_ = 0;
  static constexpr double kFastest = 1.0 / 250;
};

}  // namespace ovc
