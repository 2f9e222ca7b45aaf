#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ovc {

// Conversions between UTF-8 (the system's code page for file names and
// texts) and UTF-16, as stored in the PSP's title entries. Malformed input
// (a bad UTF-8 sequence, a lone surrogate) becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// The longest prefix of a UTF-8 text that fits in max_bytes bytes without
// splitting a character.
std::string CutUtf8(std::string text, size_t max_bytes);

// The first max_units units of a UTF-16 text, one fewer when the cut would
// split a surrogate pair.
std::u16string CutUtf16(std::u16string_view text, size_t max_units);

}  // namespace ovc
