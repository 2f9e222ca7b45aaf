#pragma once

// The setting text readers driven by arbitrary bytes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace ovc::test {

// Reads the bytes as a setting text with ParseSettingInt and ParseSettingReal
// and compares each with the C library's strtol and strtod in the "C" locale
// (clamped to 32 bits; strtod's hexadecimal, "inf" and "nan" forms count as
// no number). The first bytes taken as an int and as a double must also
// survive FormatSetting* then ParseSetting*: the int exactly, the double's
// ten-decimal text unchanged. Returns "" when all holds, else what went
// wrong.
std::string CheckSettingText(const uint8_t* data, size_t size);

}  // namespace ovc::test
