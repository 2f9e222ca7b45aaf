#include "ui/batch/batch_output_parser.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace ovc {
namespace {

constexpr std::string_view kMessagePrefix = "multiconv: ";
constexpr char kEscape = '\x1b';

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool Consume(std::string_view* text, std::string_view expected) {
  if (text->substr(0, expected.size()) != expected) return false;
  text->remove_prefix(expected.size());
  return true;
}

bool ConsumeInt(std::string_view* text, int* value) {
  const char* end = text->data() + text->size();
  auto [stop, error] = std::from_chars(text->data(), end, *value);
  if (error != std::errc() || stop == text->data()) return false;
  text->remove_prefix(static_cast<size_t>(stop - text->data()));
  return true;
}

void AppendLimited(std::string* line, char c) {
  if (line->size() < BatchOutputParser::kMaxLineBytes) line->push_back(c);
}

}  // namespace

bool ParseProgressLine(std::string_view line, double* percent, int* pass, int* passes) {
  std::string_view text = Trimmed(line);
  int this_pass = 1;
  int pass_count = 1;
  if (Consume(&text, "[Pass ")) {
    if (!ConsumeInt(&text, &this_pass) || !Consume(&text, " of ") ||
        !ConsumeInt(&text, &pass_count) || !Consume(&text, "]"))
      return false;
    if (pass_count < 1 || this_pass < 1 || this_pass > pass_count) return false;
    text = Trimmed(text);
  }
  double value = 0;
  auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value,
                                       std::chars_format::fixed);
  if (error != std::errc() || stop == text.data() || !std::isfinite(value)) return false;
  text.remove_prefix(static_cast<size_t>(stop - text.data()));
  if (!Consume(&text, "% Recorded")) return false;
  *percent = std::clamp(value, 0.0, 100.0);
  *pass = this_pass;
  *passes = pass_count;
  return true;
}

std::string_view ProgressFigures(std::string_view line) {
  // Where "<number> MB" starting at `from` ends; npos when it is not there.
  auto size_end = [line](size_t from) -> size_t {
    const std::string_view rest = line.substr(from);
    double value = 0;
    auto [stop, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value,
                                         std::chars_format::fixed);
    if (error != std::errc() || stop == rest.data()) return std::string_view::npos;
    const size_t number_end = from + static_cast<size_t>(stop - rest.data());
    if (line.substr(number_end, 3) != " MB") return std::string_view::npos;
    return number_end + 3;
  };
  constexpr std::string_view kOutput = "  Output: ";
  constexpr std::string_view kEstimated = "  Estimated: ";
  const size_t output = line.find(kOutput);
  if (output == std::string_view::npos) return line;
  size_t end = size_end(output + kOutput.size());
  if (end == std::string_view::npos) return line;
  if (line.substr(end, kEstimated.size()) == kEstimated) {
    const size_t estimated_end = size_end(end + kEstimated.size());
    if (estimated_end != std::string_view::npos) end = estimated_end;
  }
  return line.substr(0, end);
}

double BatchOutputParser::overall_percent() const {
  return ((pass_ - 1) * 100.0 + percent_) / passes_;
}

void BatchOutputParser::AddStandardOutput(std::string_view bytes) {
  for (char c : bytes) {
    if (c == '\n')
      EndOutputLine();
    else
      AppendLimited(&output_line_, c);
  }
}

void BatchOutputParser::AddStandardError(std::string_view bytes) {
  for (char c : bytes) {
    switch (escape_) {
      case EscapeState::kEscape:
        // "ESC [" starts a control sequence; any other escape is two bytes.
        escape_ = c == '[' ? EscapeState::kControlSequence : EscapeState::kNone;
        continue;
      case EscapeState::kControlSequence:
        if (c >= 0x20 && c <= 0x3f) continue;  // parameters and intermediates
        escape_ = EscapeState::kNone;
        if (c >= 0x40 && c <= 0x7e) {
          // "Erase to the end of the line" closes a progress update.
          if (c == 'K') EndErrorLine();
          continue;
        }
        break;  // a broken sequence: the byte is text again
      case EscapeState::kNone:
        break;
    }
    if (c == kEscape) {
      escape_ = EscapeState::kEscape;
    } else if (c == '\r' || c == '\n') {
      EndErrorLine();
    } else {
      AppendLimited(&error_line_, c);
    }
  }
}

void BatchOutputParser::Finish() {
  escape_ = EscapeState::kNone;
  EndErrorLine();
  EndOutputLine();
}

void BatchOutputParser::EndErrorLine() {
  std::string_view line = Trimmed(error_line_);
  if (!line.empty()) {
    double percent = 0;
    int pass = 1, passes = 1;
    if (ParseProgressLine(line, &percent, &pass, &passes)) {
      has_progress_ = true;
      percent_ = percent;
      pass_ = pass;
      passes_ = passes;
      status_ = std::string(line);
      figures_ = std::string(ProgressFigures(line));
    } else if (line.substr(0, kMessagePrefix.size()) == kMessagePrefix) {
      line.remove_prefix(kMessagePrefix.size());
      messages_.emplace_back(line);
    } else {
      notices_.emplace_back(line);
    }
  }
  error_line_.clear();
}

void BatchOutputParser::EndOutputLine() {
  std::string_view line = output_line_;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (!line.empty()) outputs_.emplace_back(line);
  output_line_.clear();
}

}  // namespace ovc
