#pragma once

#include <string>
#include <string_view>

namespace ovc::wmf {

// The Windows Media calls take wide-character texts (file names); the rest
// of the program holds UTF-8. Both conversions refuse what is not valid
// text: malformed or overlong UTF-8, surrogates, values above U+10FFFF.
bool Utf8ToWide(std::string_view text, std::wstring* wide);
bool WideToUtf8(std::wstring_view wide, std::string* text);

}  // namespace ovc::wmf
