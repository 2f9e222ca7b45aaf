#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ovc::test {

// Builds small MP4 files box by box, for the title reader and writer tests
// and the fuzz seeds.

std::string Be16(uint16_t value);
std::string Be32(uint32_t value);
std::string Be64(uint64_t value);

// A box with a 32-bit size: size, type, payload.
std::string Box(std::string_view type, std::string_view payload);

// A metadata entry: 2-byte size, type, language, encoding, UTF-16BE text with
// its zero unit.
std::string TitleEntry(std::u16string_view title, uint32_t type = 1);

// The user metadata box: "uuid" + "USMT" + 12 bytes, then the metadata box
// "MTDT" with an entry count and the entries.
std::string UsmtBox(const std::vector<std::string>& entries);

// A track whose sample table holds one chunk offset table.
std::string TrackWithChunkTable(std::string_view table);
std::string StcoBox(const std::vector<uint32_t>& offsets);
std::string Co64Box(const std::vector<uint64_t>& offsets);

// A small file: ftyp, then mdat and moov in either order. The movie box
// holds a track whose stco points at the media payload and, unless
// with_title is false, a user metadata box with an encoder entry, the title
// entry and a date entry.
struct SyntheticMp4 {
  std::string bytes;
  uint64_t media_offset = 0;  // file offset of the media payload
  std::string media;          // the payload
};
SyntheticMp4 MakeMp4(std::u16string_view title, bool moov_first, bool with_title = true);

// The 32-bit value at a file offset of a byte string.
uint32_t ReadBe32At(const std::string& bytes, uint64_t offset);

}  // namespace ovc::test
