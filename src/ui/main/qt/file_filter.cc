#include "ui/main/qt/file_filter.h"

#include <cctype>
#include <vector>

namespace ovc {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

std::string Trimmed(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string OpenDialogNameFilters(const std::string& filter) {
  const std::vector<std::string> parts = Split(filter, '|');
  std::string result;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::vector<std::string> patterns;
    auto add = [&patterns](const std::string& pattern) {
      for (const std::string& known : patterns)
        if (known == pattern) return;
      patterns.push_back(pattern);
    };
    for (const std::string& raw : Split(parts[i + 1], ';')) {
      // Blanks separate patterns as well.
      for (const std::string& piece : Split(raw, ' ')) {
        const std::string pattern = Trimmed(piece);
        if (pattern.empty()) continue;
        if (pattern == "*.*" || pattern == "*") {
          add("*");
          continue;
        }
        add(pattern);
        add(Upper(pattern));
      }
    }
    if (patterns.empty()) continue;
    std::string description = Trimmed(parts[i]);
    std::string entry = description.empty() ? std::string() : description + " ";
    entry += "(";
    for (size_t p = 0; p < patterns.size(); ++p) entry += (p ? " " : "") + patterns[p];
    entry += ")";
    result += (result.empty() ? "" : ";;") + entry;
  }
  return result;
}

}  // namespace ovc
