#include "ui/main/workflow/fuzz/window_size_fuzz.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "support/shown_text.h"
#include "ui/main/startup.h"

namespace ovc::test {
namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool ExpectedValues(std::string text, int values[4]) {
  // strtol stops at a NUL; the text reader treats it as any other character
  // that is neither white space nor a digit.
  std::replace(text.begin(), text.end(), '\0', 'x');
  const char* at = text.c_str();
  for (int i = 0; i < 4; ++i) {
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(at, &end, 10);
    if (end == at || errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
    values[i] = static_cast<int>(value);
    at = end;
  }
  for (; *at; ++at)
    if (!IsSpace(*at)) return false;
  return true;
}

}  // namespace

std::string CheckWindowSize(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  constexpr int kUntouched = -12345;
  int read[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
  bool accepted = ParseWindowSize(text, &read[0], &read[1], &read[2], &read[3]);
  int expected[4];
  bool valid = ExpectedValues(text, expected);
  if (accepted != valid)
    return "\"" + Shown(text) + "\" was " + (accepted ? "accepted" : "refused");
  if (!accepted && std::count(read, read + 4, kUntouched) != 4)
    return "refused \"" + Shown(text) + "\" but changed the outputs";
  if (accepted && !std::equal(read, read + 4, expected))
    return "\"" + Shown(text) + "\" read as other numbers";

  if (size >= sizeof(int[4])) {
    int values[4];
    std::memcpy(values, data, sizeof values);
    char written[64];
    std::snprintf(written, sizeof written, "%d %d %d %d", values[0], values[1], values[2],
                  values[3]);
    int back[4];
    if (!ParseWindowSize(written, &back[0], &back[1], &back[2], &back[3]) ||
        !std::equal(back, back + 4, values))
      return std::string("\"") + written + "\" does not read back";
  }
  return "";
}

}  // namespace ovc::test
