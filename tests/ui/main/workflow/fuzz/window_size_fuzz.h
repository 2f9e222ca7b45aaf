#pragma once

// The "WindowSize" setting reader driven by arbitrary bytes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace ovc::test {

// Reads the bytes as a "WindowSize" text with ParseWindowSize and compares
// with a reading by strtol: four 32-bit decimal integers, each after optional
// white space, then nothing but white space. A refused text must leave the
// four outputs untouched. The first 16 bytes taken as four ints, written as
// "%d %d %d %d", must read back exactly. Returns "" when all holds, else what
// went wrong.
std::string CheckWindowSize(const uint8_t* data, size_t size);

}  // namespace ovc::test
