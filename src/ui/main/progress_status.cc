#include "ui/main/progress_status.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ui/main/time_text.h"

namespace ovc {
namespace {

constexpr double kBytesPerMb = 1048576.0;

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

// The whole part of a duration in seconds, cut toward zero; 0 for values
// that are not finite or not positive, so no text ever shows "inf" or "nan".
int64_t WholeSeconds(double seconds) {
  if (!(seconds > 0)) return 0;
  constexpr double kLongest = 1e15;  // some 31 million years
  return static_cast<int64_t>(std::min(seconds, kLongest));
}

double Finite(double value) { return std::isfinite(value) ? value : 0; }

}  // namespace

ProgressStep DecideProgressStep(double range_seconds, int64_t wparam, int64_t lparam,
                                bool converting, double recorded_seconds) {
  if (!(range_seconds > 1)) return ProgressStep::kNone;
  if (wparam == 0 && lparam == 0 && !(converting && recorded_seconds >= 1))
    return ProgressStep::kNone;
  return lparam == -1 ? ProgressStep::kFinished : ProgressStep::kUpdate;
}

ProgressDisplay BuildProgressDisplay(const ProgressFigures& figures, bool finished) {
  const double range = Finite(figures.range_seconds);
  const double elapsed = Finite(figures.elapsed_seconds);
  const double recorded = finished ? range : Finite(figures.recorded_seconds);
  const double size = Finite(figures.output_mb);

  // Cut to the tenth shown, so that the text never runs ahead of the bar
  // (which shows the whole percent below it).
  const double percent =
      range > 0 ? std::floor(std::clamp(recorded / range * 100, 0.0, 100.0) * 10) / 10 : 0;
  const double remaining = recorded > 0 ? (range - recorded) * (elapsed / recorded) : 0;
  const std::string recorded_text = FormatHms(WholeSeconds(recorded));
  const std::string elapsed_text = FormatHms(WholeSeconds(elapsed));
  // Rounded up: "0:00:00" only once nothing is left.
  const std::string remaining_text = FormatHms(WholeSeconds(std::ceil(Finite(remaining) - 1e-6)));

  ProgressDisplay display;
  if (figures.n_pass == 2) {
    display.status = Printf("[Pass %d of 2]  %.1f%% Recorded %s    Elapsed %s  Remaining %s",
                            figures.pass, percent, recorded_text.c_str(), elapsed_text.c_str(),
                            remaining_text.c_str());
  } else {
    display.status = Printf("%.1f%% Recorded %s    Elapsed %s  Remaining %s", percent,
                            recorded_text.c_str(), elapsed_text.c_str(), remaining_text.c_str());
  }
  if (size > 3 && recorded > 0) {
    display.status += Printf("  Output: %.1f MB  Estimated: %.1f MB  %s", size,
                             size * range / recorded, figures.output_path.c_str());
  } else {
    display.status += Printf("  Output: %.1f MB  %s", size, figures.output_path.c_str());
  }
  display.status += ' ';

  // The bar runs from 0 to 100, the percent shown without its tenth; a
  // recording that overshoots its range fills it.
  display.bar = static_cast<int>(percent);
  return display;
}

double ReadOutputSizeMb(const std::string& path) {
  std::error_code error;
  const std::uintmax_t bytes = std::filesystem::file_size(path, error);
  if (error) return 0;
  return static_cast<double>(bytes) / kBytesPerMb;
}

bool EndtimeReached(bool converting, int position, int stop_point_sec,
                    bool stop_point_is_file_end) {
  return converting && !stop_point_is_file_end && stop_point_sec <= position;
}

std::string EndtimeTraceText(int position, int stop_point_sec) {
  return Printf("Endtime reached %d %d", position, stop_point_sec);
}

}  // namespace ovc
