#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ovc {

// Whole seconds as "%d:%02d:%02d" (hours not limited to 24); a negative
// count shows as "0:00:00".
std::string FormatHms(int64_t seconds);

// A time as the Duration and Start cells take it: "h:m:s", "m:s" or "s"
// (each part a decimal integer, leading blanks allowed), in seconds; 0 for
// anything else ("Full" included).
int ParseTimeText(std::string_view text);

}  // namespace ovc
