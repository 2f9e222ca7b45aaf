#pragma once

#include <cstdint>
#include <string>

namespace ovc {

// The status line and progress bar of a running conversion, built from the
// figures the WM_PROGRESS handler gathers. Pure functions: the handler reads
// the clock, the capture and the output file, and shows what these return.

// What a WM_PROGRESS message asks for.
enum class ProgressStep {
  kNone,      // nothing to show yet
  kUpdate,    // refresh the status line and bar
  kFinished,  // the conversion reached its end: move the low thumb onto the
              // high one, show that time, and show the whole range as done
};

// Decides what a WM_PROGRESS message (`wparam`, `lparam`; lparam -1 means
// the conversion finished) does: only when the range exceeds 1 second, and
// the message carries a parameter or a conversion runs with at least 1
// second recorded.
ProgressStep DecideProgressStep(double range_seconds, int64_t wparam, int64_t lparam,
                                bool converting, double recorded_seconds);

// The figures behind one status line.
struct ProgressFigures {
  double elapsed_seconds = 0;   // wall time since recording began
  double recorded_seconds = 0;  // media time recorded so far
  double range_seconds = 0;     // length of the range being recorded
  int n_pass = 1;               // 1 or 2
  int pass = 1;                 // the running pass, 1 or 2
  double output_mb = 0;         // current size of the output file, MiB
  std::string output_path;
};

struct ProgressDisplay {
  std::string status;  // ProgressStatus's caption
  int bar = 0;         // ProgressBar's position, 0..100
};

// The status line: percent done, recorded, elapsed and remaining time, then
// the output size (with the estimated final size once it exceeds 3 MB) and
// the output path, and one trailing blank. `finished` shows the whole range
// as recorded. Never divides by zero: with nothing recorded the remaining
// time shows 0:00:00 and no estimate is given; with no range the percentage
// is 0.
ProgressDisplay BuildProgressDisplay(const ProgressFigures& figures, bool finished);

// The current size of the file at `path` in MiB (a 64-bit byte count / 1048576);
// 0 when it cannot be read.
double ReadOutputSizeMb(const std::string& path);

// The timer's stop check: a running conversion has reached its stop point at
// playback position `position` (whole seconds). Never when the stop point is
// the end of the file: the completion event then ends the conversion at the
// file's true end.
bool EndtimeReached(bool converting, int position, int stop_point_sec,
                    bool stop_point_is_file_end);

// The trace line of that stop: "Endtime reached <position> <stop point>".
std::string EndtimeTraceText(int position, int stop_point_sec);

}  // namespace ovc
