#include "platform/shell/desktop_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "common/paths.h"

namespace ovc {
namespace {

constexpr char kDesktopKey[] = "XDG_DESKTOP_DIR=";

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The value after the '=' of one assignment: a double-quoted text with
// backslash escapes, or a bare word up to the first blank or '#'. `ok` is
// cleared when a quote is left open.
std::string AssignedValue(const std::string& line, size_t begin, bool* ok) {
  std::string value;
  *ok = true;
  if (begin < line.size() && line[begin] == '"') {
    for (size_t i = begin + 1; i < line.size(); ++i) {
      char c = line[i];
      if (c == '"') return value;
      if (c == '\\' && i + 1 < line.size()) c = line[++i];
      value += c;
    }
    *ok = false;
    return value;
  }
  for (size_t i = begin; i < line.size(); ++i) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '#' || c == '\r') break;
    value += c;
  }
  return value;
}

std::string ConfigFolder(const std::string& home) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  // The basedir rules ignore a relative XDG_CONFIG_HOME.
  if (config && config[0] == '/') return WithoutTrailingSlashes(config);
  return home + "/.config";
}

}  // namespace

std::string DesktopFolderFromUserDirs(const std::string& text, const std::string& home) {
  std::string found;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, sizeof kDesktopKey - 1, kDesktopKey) != 0)
      continue;
    bool ok = false;
    std::string value = AssignedValue(line, start + sizeof kDesktopKey - 1, &ok);
    if (!ok) continue;
    std::string folder;
    if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
      folder = home + value.substr(5);
    else if (!value.empty() && value.front() == '/')
      folder = value;
    else
      continue;
    found = WithoutTrailingSlashes(folder);
  }
  return found;
}

std::string DesktopFolder() {
  std::string home = HomeFolder();
  std::ifstream file(ConfigFolder(home) + "/user-dirs.dirs");
  std::string folder;
  if (file) {
    std::ostringstream text;
    text << file.rdbuf();
    folder = DesktopFolderFromUserDirs(text.str(), home);
  }
  if (folder.empty()) folder = (home == "/" ? "" : home) + "/Desktop";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder;
}

}  // namespace ovc
