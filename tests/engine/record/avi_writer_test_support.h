#pragma once

// Readers for the bytes of an AVI file, shared by the AviWriter tests.

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/trace.h"

namespace ovc::test {

// Little-endian fields of a file held in a string; 0 / "" past its end.
inline uint32_t U32(const std::string& file, size_t at) {
  if (at + 4 > file.size()) return 0;
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(file[at + i]);
  return value;
}

inline uint32_t U16(const std::string& file, size_t at) {
  if (at + 2 > file.size()) return 0;
  return static_cast<uint8_t>(file[at]) | static_cast<uint32_t>(static_cast<uint8_t>(file[at + 1])) << 8;
}

inline std::string Tag(const std::string& file, size_t at) {
  return at + 4 <= file.size() ? file.substr(at, 4) : std::string();
}

struct IndexEntry {
  std::string id;
  uint32_t flags;
  uint32_t offset;  // from the "movi" identifier at 2044
  uint32_t length;
};

// The entries of the idx1 chunk that follows the movi list (whose size is
// at 2040); empty when there is none.
inline std::vector<IndexEntry> ReadIndex(const std::string& file) {
  std::vector<IndexEntry> index;
  const size_t at = 2044 + static_cast<size_t>(U32(file, 2040));
  if (Tag(file, at) != "idx1") return index;
  const size_t count = U32(file, at + 4) / 16;
  for (size_t i = 0; i < count && at + 8 + 16 * (i + 1) <= file.size(); ++i) {
    size_t e = at + 8 + 16 * i;
    index.push_back({Tag(file, e), U32(file, e + 4), U32(file, e + 8), U32(file, e + 12)});
  }
  return index;
}

// Every message of the trace log, oldest first.
inline std::vector<std::string> TraceMessages() {
  std::vector<std::string> messages;
  std::ifstream in(TraceLogPath());
  for (std::string line; std::getline(in, line);) {
    uint32_t tick = 0;
    std::string text;
    if (UnscrambleTraceLine(line, &tick, &text)) messages.push_back(text);
  }
  return messages;
}

// True when the trace log holds a line with exactly this message.
inline bool TraceHasLine(const std::string& message) {
  std::ifstream in(TraceLogPath());
  for (std::string line; std::getline(in, line);) {
    uint32_t tick = 0;
    std::string text;
    if (UnscrambleTraceLine(line, &tick, &text) && text == message) return true;
  }
  return false;
}

}  // namespace ovc::test
