#include "ui/batch/batch_result.h"

#include "ui/batch/batch_output_parser.h"

namespace ovc {
namespace {

// The converter's note after an interruption: "interrupted; INPUT was
// converted up to where it stopped".
bool IsInterruptionNote(const std::string& message) {
  return message.compare(0, 13, "interrupted; ") == 0;
}

std::string WithoutInputInFront(const std::string& message, const std::string& input) {
  const std::string prefix = input + ": ";
  if (!input.empty() && message.compare(0, prefix.size(), prefix) == 0)
    return message.substr(prefix.size());
  return message;
}

// The file name of a path, for entries that carry the whole path anyway.
std::string FileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Joined(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) {
    if (!joined.empty()) joined += "; ";
    joined += text;
  }
  return joined;
}

}  // namespace

BatchFileResult JudgeBatchRun(const std::string& input, int exit_code, bool stop_requested,
                              const BatchOutputParser& parser) {
  BatchFileResult result;
  result.input = input;
  result.outputs = parser.outputs();
  for (const std::string& message : parser.messages())
    if (!IsInterruptionNote(message)) result.messages.push_back(WithoutInputInFront(message, input));

  if (exit_code == 0 && !result.outputs.empty()) {
    result.outcome = BatchOutcome::kConverted;
  } else if (!result.outputs.empty()) {
    result.outcome = BatchOutcome::kStopped;
  } else {
    result.outcome = BatchOutcome::kFailed;
    // Without a word of the converter's own, what else it printed explains it.
    if (result.messages.empty()) result.messages = parser.notices();
    if (result.messages.empty()) {
      if (stop_requested)
        result.messages.push_back("stopped before the conversion began");
      else if (exit_code == 0)
        result.messages.push_back("the converter wrote no output");
      else if (exit_code < 0)
        result.messages.push_back("the converter ended unexpectedly");
      else
        result.messages.push_back("the converter failed with exit status " +
                                  std::to_string(exit_code));
    }
  }
  return result;
}

std::vector<BatchResultLine> ResultLines(const BatchFileResult& result) {
  std::vector<BatchResultLine> lines;
  switch (result.outcome) {
    case BatchOutcome::kConverted:
      for (const std::string& output : result.outputs)
        lines.push_back({"Converted: " + output, output, result.outcome});
      break;
    case BatchOutcome::kStopped:
      for (const std::string& output : result.outputs)
        lines.push_back({"Stopped: " + output + " (converted up to where it stopped)", output,
                         result.outcome});
      break;
    case BatchOutcome::kFailed:
      lines.push_back({"Failed: " + FileName(result.input) + ": " + Joined(result.messages),
                       result.input, result.outcome});
      return lines;
  }
  for (const std::string& message : result.messages)
    lines.push_back({FileName(result.input) + ": " + message, result.input, result.outcome});
  return lines;
}

}  // namespace ovc
