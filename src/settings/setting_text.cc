#include "settings/setting_text.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <climits>
#include <cstdint>

namespace ovc {
namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

std::string FormatSettingInt(int value) {
  char text[16];
  auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string FormatSettingReal(double value) {
  // The largest double has 309 integer digits; with the sign, the point and
  // ten decimals it fits comfortably.
  char text[400];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 10);
  return std::string(text, result.ptr);
}

int ParseSettingInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > int64_t{INT_MAX} + 1) magnitude = int64_t{INT_MAX} + 1;
  }
  int64_t value = negative ? -magnitude : magnitude;
  if (value > INT_MAX) return INT_MAX;
  return static_cast<int>(value);
}

double ParseSettingReal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    for (; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  }
  if (digits == 0) return 0.0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t exponent = i + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    if (exponent < text.size() && IsDigit(text[exponent])) {
      i = exponent;
      while (i < text.size() && IsDigit(text[i])) ++i;
    }
  }
  // Only the decimal number found above reaches the conversion, so strtod's
  // other notations cannot apply; out-of-range values become ±HUGE_VAL or 0.
  std::string number(text.substr(start, i - start));
  return strtod_l(number.c_str(), nullptr, CLocale());
}

}  // namespace ovc
