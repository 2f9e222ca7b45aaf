#include "platform/registry/registry_types.h"

namespace ovc::registry {

Value TextValue(const std::string& text) { return Value{kRegSz, text}; }

Value DwordValue(uint32_t number) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
  return Value{kRegDword, bytes};
}

Value BinaryValue(const std::string& bytes) { return Value{kRegBinary, bytes}; }

bool DwordOf(const Value& value, uint32_t* number) {
  if (value.type != kRegDword || value.data.size() != 4) return false;
  uint32_t result = 0;
  for (int i = 3; i >= 0; --i) result = (result << 8) | static_cast<uint8_t>(value.data[i]);
  *number = result;
  return true;
}

std::string FoldName(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace ovc::registry
