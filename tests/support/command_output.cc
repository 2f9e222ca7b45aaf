#include "support/command_output.h"

#include <cstdio>
#include <sstream>

namespace ovc::test {

std::string CommandOutput(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  pclose(pipe);
  return out;
}

std::string ProbeEntry(const std::string& path, const std::string& stream,
                       const std::string& entry) {
  std::string out = CommandOutput("ffprobe -v error -select_streams " + stream +
                                  " -count_frames -show_entries " + entry +
                                  " -of default=nw=1:nk=1 '" + path + "' 2>/dev/null");
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace ovc::test
