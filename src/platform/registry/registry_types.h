#pragma once

#include <cstdint>
#include <string>

namespace ovc::registry {

// Status codes of every registry operation, numbered as the Windows
// registry numbers them so that callers can pass them on unchanged.
inline constexpr int kSuccess = 0;
inline constexpr int kFileNotFound = 2;       // key, value or import file missing
inline constexpr int kAccessDenied = 5;       // e.g. deleting a hive itself
inline constexpr int kInvalidData = 13;       // an import file that is no registry script
inline constexpr int kInvalidParameter = 87;  // a key path or name the store cannot hold
inline constexpr int kCantOpen = 1011;        // the database could not be opened at all
inline constexpr int kCantRead = 1012;        // a query failed inside the database
inline constexpr int kCantWrite = 1013;       // a change could not be committed

// The two top-level keys the store holds.
enum class Hive { kCurrentUser, kLocalMachine };

// Value types, numbered as on Windows. The store keeps any type number with
// its bytes; these are the ones the program reads and writes.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;      // text, UTF-8, stored without a terminator
inline constexpr uint32_t kRegBinary = 3;  // bytes
inline constexpr uint32_t kRegDword = 4;   // 32-bit number, 4 bytes little-endian

// One typed value. A key's unnamed default value has the name "".
struct Value {
  uint32_t type = kRegNone;
  std::string data;  // raw bytes
};

struct NamedValue {
  std::string name;  // as spelled when the value was first set
  Value value;
};

// Building and reading values of the common types.
Value TextValue(const std::string& text);
Value DwordValue(uint32_t number);
Value BinaryValue(const std::string& bytes);
// The number held by a REG_DWORD value; false when the value is not exactly
// four bytes of type REG_DWORD.
bool DwordOf(const Value& value, uint32_t* number);

// Upper-case ASCII letters folded to lower case; every other byte kept. Key
// and value names compare equal when their folded forms do.
std::string FoldName(const std::string& name);

}  // namespace ovc::registry
