#include "ui/main/speed_regulation.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "common/trace.h"
#include "engine/playback/capture_stage.h"
#include "engine/playback/recording_clock.h"

namespace ovc {
namespace {

// The load at and above which the regulation holds off, percent.
constexpr double kBusyLoad = 95;
// The "*" mark of the trace: ActualFrameTime at the nominal bound.
constexpr double kAtBoundRatio = 1.0007999;

}  // namespace

CapturePacing::CapturePacing(CaptureStage* capture, RecordingClock* clock)
    : capture_(capture), clock_(clock) {}

double CapturePacing::ActualFrameTime() { return capture_->actual_frame_time(); }

void CapturePacing::SetActualFrameTime(double seconds) { capture_->set_actual_frame_time(seconds); }

double CapturePacing::NominalFramePeriod() { return capture_->long_term_frame_time(); }

void CapturePacing::RestartClockBase() { clock_->RestartBase(); }

void CapturePacing::SetClockSpeed(float speed) { clock_->SetSpeed(speed); }

SpeedRegulation::SpeedRegulation(TraceSink trace) : trace_(std::move(trace)) {
  if (!trace_) trace_ = [](const std::string& line) { WriteTraceLine(line); };
}

bool SpeedRegulation::Tick(const TickState& state, const std::function<double()>& cpu_load,
                           PacingControl* pacing) {
  if (!state.adjust_speed) return false;
  const double load = cpu_load ? cpu_load() : 0;
  if (!(load > 0)) return false;
  if (!state.converting || !state.playing || load >= kBusyLoad) {
    tick_counter_ = 0;
    return false;
  }
  tick_counter_ = (tick_counter_ + 1) % 4;
  if (tick_counter_ == 0) return false;
  Step(load, state.dbg, pacing);
  return true;
}

void SpeedRegulation::Step(double load, int dbg, PacingControl* pacing) {
  const double increment = 0;
  const double nominal = pacing->NominalFramePeriod();
  // Without a known nominal period only the fixed bounds apply.
  const bool nominal_known = std::isfinite(nominal) && nominal > 0;

  double actual = pacing->ActualFrameTime();
  if (nominal_known && actual / nominal > kMostAboveNominal) actual = nominal * kMostAboveNominal;
  if (actual > kLongestFrameTime) actual = kLongestFrameTime;
  if (!(actual >= kShortestFrameTime)) actual = kShortestFrameTime;  // also not-a-number
  pacing->SetActualFrameTime(actual);

  pacing->RestartClockBase();
  pacing->SetClockSpeed(1.0f);
  pacing->RestartClockBase();

  ++step_counter_;
  char line[160];
  if (dbg != 0) {
    std::snprintf(line, sizeof line, "  A %.5f   [%.1f%%]  ActualFrameTime=%.7f", increment, load,
                  actual);
    trace_(line);
  } else if (step_counter_ < 100 || step_counter_ % 120 == 0) {
    const char mark = nominal_known && actual / nominal >= kAtBoundRatio ? '*' : ' ';
    std::snprintf(line, sizeof line, "  A %.5f   %.3f  %.7f  %.7f %c", increment, load * 0.01,
                  actual, nominal, mark);
    trace_(line);
  }
}

}  // namespace ovc
