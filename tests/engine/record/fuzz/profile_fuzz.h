#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/record/profile.h"

namespace ovc::test {

// Reads arbitrary bytes as a profile file and checks what must hold for any
// input: no field holds a line feed or NUL, no choice is empty, and what Save
// would write reads back to a profile that writes the same text again (only
// the frame rate may move, by the rounding of its six significant digits).
// Returns "" when all holds, else what went wrong.
inline std::string CheckProfileText(const uint8_t* data, size_t size) {
  CProfile first;
  first.ParseText(std::string_view(reinterpret_cast<const char*>(data), size));

  auto clean = [](const std::string& text) {
    return text.find('\n') == std::string::npos && text.find('\0') == std::string::npos;
  };
  for (const std::string* field : {&first.device, &first.fileext, &first.vcodec, &first.s,
                                   &first.acodec, &first.aformat, &first.ac}) {
    if (!clean(*field)) return "a field holds a line feed or NUL";
  }
  for (const auto* list : {&first.vcodec_choices, &first.s_choices, &first.b_choices,
                           &first.r_choices, &first.acodec_choices, &first.aformat_choices,
                           &first.ab_choices, &first.ar_choices, &first.ac_choices}) {
    for (const std::string& choice : *list) {
      if (choice.empty()) return "an empty choice was kept";
      if (!clean(choice)) return "a choice holds a line feed or NUL";
    }
  }
  if (!std::isfinite(first.r)) return "the frame rate is not finite";

  const std::string text = first.ToText();
  CProfile second;
  second.ParseText(text);
  const std::string again = second.ToText();
  if (again == text) return "";

  // Blank out the frame rate's number and compare the rest.
  auto without_rate = [](std::string body) {
    const std::string key = "\nr       = ";
    size_t at = body.find(key);
    if (at == std::string::npos) return body;
    size_t from = at + key.size();
    size_t to = body.find(' ', from);
    body.replace(from, to - from, "#");
    return body;
  };
  if (without_rate(again) != without_rate(text)) return "saved text does not read back:\n" + text;
  if (std::fabs(second.r - first.r) > 1e-5 * std::fabs(first.r) + 1e-300)
    return "frame rate moved by more than its rounding";
  return "";
}

}  // namespace ovc::test
