#pragma once

#include <cstdio>
#include <string>

namespace ovc::test {

// The first 80 bytes of `text` for a failure message: printable ASCII as it
// is, every other byte as \xNN.
inline std::string Shown(const std::string& text) {
  std::string out;
  for (unsigned char c : text.substr(0, 80)) {
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace ovc::test
