#include "settings/fuzz/setting_text_fuzz.h"

#include <locale.h>
#include <stdlib.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "settings/setting_text.h"
#include "support/shown_text.h"

namespace ovc::test {
namespace {

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int ExpectedInt(const std::string& text) {
  long value = strtol_l(text.c_str(), nullptr, 10, CLocale());
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

double ExpectedReal(const std::string& text) {
  // strtod also reads "0x1p3", "inf" and "nan"; a setting's number is decimal
  // only, so those read as their leading "0" or as no number at all: 0.
  size_t at = 0;
  while (at < text.size() && IsSpace(text[at])) ++at;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  std::string_view rest = std::string_view(text).substr(at);
  if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) return 0.0;
  if (!rest.empty() && rest[0] != '\0' && std::strchr("iInN", rest[0])) return 0.0;
  return strtod_l(text.c_str(), nullptr, CLocale());
}

}  // namespace

std::string CheckSettingText(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  int parsed_int = ParseSettingInt(text);
  int expected_int = ExpectedInt(text);
  if (parsed_int != expected_int)
    return "int of \"" + Shown(text) + "\" is " + std::to_string(parsed_int) + ", strtol gives " +
           std::to_string(expected_int);

  double parsed_real = ParseSettingReal(text);
  double expected_real = ExpectedReal(text);
  if (std::isnan(parsed_real)) return "real of \"" + Shown(text) + "\" is NaN";
  if (parsed_real != expected_real)
    return "real of \"" + Shown(text) + "\" is " + FormatSettingReal(parsed_real) +
           ", strtod gives " + FormatSettingReal(expected_real);

  if (size >= sizeof(int)) {
    int value;
    std::memcpy(&value, data, sizeof value);
    std::string written = FormatSettingInt(value);
    if (ParseSettingInt(written) != value) return "int " + written + " does not read back";
  }
  if (size >= sizeof(double)) {
    double value;
    std::memcpy(&value, data, sizeof value);
    if (std::isfinite(value)) {
      std::string written = FormatSettingReal(value);
      std::string again = FormatSettingReal(ParseSettingReal(written));
      if (again != written) return "real " + written + " reads back as " + again;
    }
  }
  return "";
}

}  // namespace ovc::test
