#pragma once

// The language file reader driven by arbitrary bytes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace ovc::test {

// Writes the bytes to an in-memory file, reads it with LoadTranslationTable
// and compares the table with one built from the bytes by the file format's
// rules, worked out here independently of the reader: the file is cut into
// pieces that end after a line feed or at 1023 bytes, a NUL ends a piece's
// text, "@key" pieces open entries. Returns "" when both agree, else what
// differs.
std::string CheckTranslationTable(const uint8_t* data, size_t size);

}  // namespace ovc::test
