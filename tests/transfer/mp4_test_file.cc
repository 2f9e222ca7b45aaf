#include "transfer/mp4_test_file.h"

namespace ovc::test {

std::string Be16(uint16_t value) {
  return {static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string Be32(uint32_t value) { return Be16(value >> 16) + Be16(value & 0xFFFF); }

std::string Be64(uint64_t value) {
  return Be32(static_cast<uint32_t>(value >> 32)) + Be32(static_cast<uint32_t>(value));
}

std::string Box(std::string_view type, std::string_view payload) {
  return Be32(static_cast<uint32_t>(8 + payload.size())) + std::string(type) +
         std::string(payload);
}

std::string TitleEntry(std::u16string_view title, uint32_t type) {
  std::string text;
  for (char16_t unit : title) text += Be16(unit);
  text += Be16(0);
  return Be16(static_cast<uint16_t>(10 + text.size())) + Be32(type) + Be16(0x15C7) + Be16(1) +
         text;
}

std::string UsmtBox(const std::vector<std::string>& entries) {
  std::string metadata = Be16(static_cast<uint16_t>(entries.size()));
  for (const std::string& entry : entries) metadata += entry;
  std::string extended = "USMT" + std::string("\x21\xd2\x4f\xce\xbb\x88\x69\x5c\xfa\xc9\xc7\x40", 12);
  return Box("uuid", extended + Box("MTDT", metadata));
}

std::string StcoBox(const std::vector<uint32_t>& offsets) {
  std::string payload = Be32(0) + Be32(static_cast<uint32_t>(offsets.size()));
  for (uint32_t offset : offsets) payload += Be32(offset);
  return Box("stco", payload);
}

std::string Co64Box(const std::vector<uint64_t>& offsets) {
  std::string payload = Be32(0) + Be32(static_cast<uint32_t>(offsets.size()));
  for (uint64_t offset : offsets) payload += Be64(offset);
  return Box("co64", payload);
}

std::string TrackWithChunkTable(std::string_view table) {
  std::string stbl = Box("stbl", Box("stsd", Be32(0) + Be32(0)) + std::string(table));
  return Box("trak", Box("tkhd", std::string(84, '\0')) +
                         Box("mdia", Box("mdhd", std::string(24, '\0')) + Box("minf", stbl)));
}

SyntheticMp4 MakeMp4(std::u16string_view title, bool moov_first, bool with_title) {
  SyntheticMp4 file;
  file.media = "media payload: frames and samples";
  std::string ftyp = Box("ftyp", "MSNV" + Be32(0x01000000) + "MSNVmp42isom");
  std::string mdat = Box("mdat", file.media);
  auto make_moov = [&](uint32_t media_offset) {
    std::string children = Box("mvhd", std::string(100, '\0')) +
                           TrackWithChunkTable(StcoBox({media_offset, media_offset + 6}));
    if (with_title)
      children += UsmtBox({TitleEntry(u"Encoder", 4), TitleEntry(title), TitleEntry(u"2006", 3)});
    return Box("moov", children);
  };
  if (moov_first) {
    // The movie box's size does not depend on the offset's value.
    size_t moov_size = make_moov(0).size();
    file.media_offset = ftyp.size() + moov_size + 8;
    file.bytes = ftyp + make_moov(static_cast<uint32_t>(file.media_offset)) + mdat;
  } else {
    file.media_offset = ftyp.size() + 8;
    file.bytes = ftyp + mdat + make_moov(static_cast<uint32_t>(file.media_offset));
  }
  return file;
}

uint32_t ReadBe32At(const std::string& bytes, uint64_t offset) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i)
    value = (value << 8) | static_cast<unsigned char>(bytes.at(offset + i));
  return value;
}

}  // namespace ovc::test
