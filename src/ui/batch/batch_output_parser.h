#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ovc {

// Reads what a running `multiconv` writes, in chunks as they arrive (a line
// may be split anywhere, even inside a control sequence):
//
//  - standard output: each finished output file's path on a line of its own;
//  - standard error: the progress line, and every message on a line of its
//    own, each message starting with "multiconv: ". On a terminal the
//    progress line is rewritten in place ("\r" TEXT "\x1b[K"); into a pipe
//    it comes as whole lines every few seconds. Both forms are understood.
//
// A progress line reads
//   [Pass 1 of 2]  12.3% Recorded 0:00:12    Elapsed 0:00:01  Remaining 0:00:03
//   Output: 0.9 MB  [Estimated: 4.1 MB  ]/path/file.MP4
// (one line) with the "[Pass n of m]  " part only for two passes. A line
// that starts with "multiconv: " is one of the converter's messages; any
// other non-blank line is a notice (a library's diagnostics, say).
//
// One parser per process run; not thread-safe (feed it from one thread).
class BatchOutputParser {
 public:
  // The longest line kept, in bytes; the rest of a longer line is dropped,
  // so a runaway child cannot make the parser hold unbounded memory.
  static constexpr size_t kMaxLineBytes = 64 * 1024;

  void AddStandardOutput(std::string_view bytes);
  void AddStandardError(std::string_view bytes);
  // Both streams have ended: a last line without its line end counts too.
  void Finish();

  // Whether any progress line has been seen.
  bool has_progress() const { return has_progress_; }
  // The latest progress line's figures: percent of the running pass
  // (0..100), the pass (1-based) and the number of passes.
  double percent() const { return percent_; }
  int pass() const { return pass_; }
  int passes() const { return passes_; }
  // Percent of the whole conversion, 0..100: two passes count half each.
  double overall_percent() const;
  // The latest progress line as written, trailing blanks removed.
  const std::string& status() const { return status_; }
  // The same without the output path at its end: the figures only.
  const std::string& figures() const { return figures_; }

  // Every finished output path so far, in order.
  const std::vector<std::string>& outputs() const { return outputs_; }
  // Every message of the converter so far, in order, without the
  // "multiconv: " in front.
  const std::vector<std::string>& messages() const { return messages_; }
  // Every other line of standard error so far, in order.
  const std::vector<std::string>& notices() const { return notices_; }

 private:
  enum class EscapeState { kNone, kEscape, kControlSequence };

  void EndErrorLine();
  void EndOutputLine();

  std::string error_line_;   // standard error since the last line end
  std::string output_line_;  // standard output since the last line end
  EscapeState escape_ = EscapeState::kNone;

  bool has_progress_ = false;
  double percent_ = 0;
  int pass_ = 1;
  int passes_ = 1;
  std::string status_;
  std::string figures_;
  std::vector<std::string> outputs_;
  std::vector<std::string> messages_;
  std::vector<std::string> notices_;
};

// Parses one progress line (see above). Returns false for anything else;
// otherwise sets `percent` (clamped to 0..100), `pass` and `passes` (1 and 1
// without the pass part).
bool ParseProgressLine(std::string_view line, double* percent, int* pass, int* passes);

// A progress line up to the end of its size figures ("Output: 0.9 MB" and,
// when there, "Estimated: 4.1 MB"), leaving out the output path; the whole
// line when it has no such figures.
std::string_view ProgressFigures(std::string_view line);

}  // namespace ovc
