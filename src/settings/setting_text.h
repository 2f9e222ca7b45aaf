#pragma once

#include <string>
#include <string_view>

namespace ovc {

// How numbers are kept as setting texts. All four ignore the process locale:
// the decimal point is always '.'.

// "%d".
std::string FormatSettingInt(int value);
// "%.10lf": fixed notation with ten decimals ("1.1200000048").
std::string FormatSettingReal(double value);

// Leading blanks, an optional sign and the leading decimal digits, as a
// 32-bit signed integer (values beyond its range are clamped to it). A text
// without leading digits gives 0.
int ParseSettingInt(std::string_view text);
// Leading blanks, then the leading decimal number (sign, digits, an optional
// fraction and exponent). A text without one gives 0.0; hexadecimal, "inf"
// and "nan" are not decimal numbers.
double ParseSettingReal(std::string_view text);

}  // namespace ovc
