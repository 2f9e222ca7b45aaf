#pragma once

#include <string>
#include <vector>

namespace ovc {

class BatchOutputParser;

// How the conversion of one input came out.
enum class BatchOutcome {
  kConverted,  // every output written in full
  kStopped,    // stopped half-way; the outputs hold what was converted
  kFailed,     // nothing usable written
};

struct BatchFileResult {
  std::string input;
  BatchOutcome outcome = BatchOutcome::kFailed;
  std::vector<std::string> outputs;   // every file written (each split part)
  std::vector<std::string> messages;  // what the converter said, in order
};

// Judges one finished `multiconv` run over the single input `input`.
// `exit_code` is the process's exit status, or -1 when it could not start or
// was ended by a signal; `stop_requested` says the user asked it to stop.
//  - exit 0 with an output: converted (a stop request that came too late
//    changed nothing; the converter exits with 1 once it was interrupted);
//  - any output printed otherwise: stopped (the converter prints the
//    outputs of an interrupted conversion, which stay playable);
//  - otherwise failed. A failure the converter did not explain in its own
//    messages is explained by the other lines it printed (the libraries'
//    notices), else by a message of its own, so every failure says
//    something.
// The converter's own note about an interruption, and the input path it puts
// in front of its messages, are left out of `messages`.
BatchFileResult JudgeBatchRun(const std::string& input, int exit_code, bool stop_requested,
                              const BatchOutputParser& parser);

// One entry of the window's results list.
struct BatchResultLine {
  std::string text;
  std::string path;  // the output it names, or the input for a failure
  BatchOutcome outcome = BatchOutcome::kFailed;
};

// The results list entries of one input: "Converted: OUTPUT" for each
// output, "Stopped: OUTPUT (converted up to where it stopped)" for each
// output of a stopped conversion, and "Failed: NAME: MESSAGE" (NAME the
// input's file name, messages joined by "; ") for a failure. A converted or
// stopped input's other messages follow as "NAME: MESSAGE" notes. Each entry
// keeps the whole path it is about.
std::vector<BatchResultLine> ResultLines(const BatchFileResult& result);

}  // namespace ovc
