#include "ui/main/time_text.h"

#include <cstdio>

namespace ovc {

std::string FormatHms(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                static_cast<int>(seconds % 3600 / 60), static_cast<int>(seconds % 60));
  return text;
}

int ParseTimeText(std::string_view text) {
  // sscanf needs a terminated string; the cells are short.
  const std::string copy(text.substr(0, 256));
  int h = 0, m = 0, s = 0;
  // Products are taken in 64 bits and clamped, so "99999999:0:0" can't wrap.
  auto clamp = [](long long v) {
    return static_cast<int>(v > 2147483647LL ? 2147483647LL : v < -2147483647LL ? -2147483647LL : v);
  };
  if (std::sscanf(copy.c_str(), "%d:%d:%d", &h, &m, &s) == 3)
    return clamp(h * 3600LL + m * 60LL + s);
  if (std::sscanf(copy.c_str(), "%d:%d", &m, &s) == 2) return clamp(m * 60LL + s);
  if (std::sscanf(copy.c_str(), "%d", &s) == 1) return s;
  return 0;
}

}  // namespace ovc
