#pragma once

#include <functional>
#include <string>

namespace ovc {

class CaptureStage;
class RecordingClock;

// What the speed regulation acts on: the capture's pacing frame time and
// the recording clock.
class PacingControl {
 public:
  virtual ~PacingControl() = default;

  // The frame duration the capture paces the graph with (ActualFrameTime),
  // seconds.
  virtual double ActualFrameTime() = 0;
  virtual void SetActualFrameTime(double seconds) = 0;
  // The source's nominal frame period, seconds: the slowly adapting
  // long-term estimate of the input frame duration.
  virtual double NominalFramePeriod() = 0;
  // The recording clock: discard the real time since its last read, and
  // set its speed (1.0 is real time).
  virtual void RestartClockBase() = 0;
  virtual void SetClockSpeed(float speed) = 0;
};

// PacingControl over the capture stage and the recording clock. Neither is
// owned; both must outlive it.
class CapturePacing : public PacingControl {
 public:
  CapturePacing(CaptureStage* capture, RecordingClock* clock);

  double ActualFrameTime() override;
  void SetActualFrameTime(double seconds) override;
  double NominalFramePeriod() override;
  void RestartClockBase() override;
  void SetClockSpeed(float speed) override;

 private:
  CaptureStage* capture_;
  RecordingClock* clock_;
};

// The speed regulation of the 500 ms progress timer: on three of every four
// qualifying ticks it keeps ActualFrameTime at most 0.08 % above the nominal
// frame period and within 0.0167..0.07 s, and puts the recording clock back
// to real time. A tick qualifies while a conversion runs, playback is
// running and the load is below 95 %; any other tick restarts the count.
//
// Trace lines go to the trace sink (the trace log unless one is given).
// User interface thread only; no global state.
class SpeedRegulation {
 public:
  using TraceSink = std::function<void(const std::string& line)>;

  // ActualFrameTime never leaves these bounds after a step, seconds.
  static constexpr double kShortestFrameTime = 0.0167;
  static constexpr double kLongestFrameTime = 0.07;
  // Nor does it exceed the nominal period by more than this factor.
  static constexpr double kMostAboveNominal = 1.0008;

  // What one timer tick knows.
  struct TickState {
    bool adjust_speed = false;  // the setting "adjust_speed"
    bool converting = false;    // a conversion runs
    bool playing = false;       // playback is running (state 2)
    int dbg = 0;                // the setting "dbg"
  };

  explicit SpeedRegulation(TraceSink trace = {});

  // One timer tick. Without adjust_speed nothing happens and no load is
  // taken; otherwise `cpu_load` (percent) is taken once and a load that is
  // not above 0 does nothing. Then the qualifying rule and the three-of-four
  // count decide whether Step runs. Returns whether it ran.
  bool Tick(const TickState& state, const std::function<double()>& cpu_load,
            PacingControl* pacing);

  // The regulation step itself (SpeedRegulation): bound ActualFrameTime,
  // restart the clock at speed 1.0, count the step and trace it. `load` in
  // percent.
  void Step(double load, int dbg, PacingControl* pacing);

  // 0..3: qualifying ticks since the count last restarted, modulo 4.
  int tick_counter() const { return tick_counter_; }
  // Steps since this object was made.
  int step_counter() const { return step_counter_; }

 private:
  TraceSink trace_;
  int tick_counter_ = 0;
  int step_counter_ = 0;
};

}  // namespace ovc
