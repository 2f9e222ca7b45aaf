#include "transfer/mp4_boxes.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>

namespace ovc {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Full box header: version (1 byte) and flags (3 bytes) after the box header.
constexpr size_t kFullBoxHeader = 12;

int ShiftTable(std::vector<uint8_t>* moov, const Mp4Box& box, bool wide, uint64_t from,
               int64_t delta) {
  uint8_t* data = moov->data();
  if (box.size < kFullBoxHeader + 4) return -1;
  uint64_t count = LoadBe32(data + box.offset + kFullBoxHeader);
  uint64_t width = wide ? 8 : 4;
  uint64_t first = box.offset + kFullBoxHeader + 4;
  if (count > (box.end() - first) / width) return -1;
  for (uint64_t i = 0; i < count; ++i) {
    uint8_t* field = data + first + i * width;
    uint64_t value = wide ? LoadBe64(field) : LoadBe32(field);
    if (value < from) continue;
    if (delta < 0 && value < static_cast<uint64_t>(-delta)) return -1;
    uint64_t shifted = value + static_cast<uint64_t>(delta);
    if (wide) {
      if (delta > 0 && shifted < value) return -1;
      StoreBe64(field, shifted);
    } else {
      if (shifted > UINT32_MAX) return -1;
      StoreBe32(field, static_cast<uint32_t>(shifted));
    }
  }
  return 0;
}

}  // namespace

uint16_t LoadBe16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

uint32_t LoadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint64_t LoadBe64(const uint8_t* p) { return (uint64_t{LoadBe32(p)} << 32) | LoadBe32(p + 4); }

void StoreBe16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value >> 8);
  p[1] = static_cast<uint8_t>(value);
}

void StoreBe32(uint8_t* p, uint32_t value) {
  for (int i = 3; i >= 0; --i, value >>= 8) p[i] = static_cast<uint8_t>(value);
}

void StoreBe64(uint8_t* p, uint64_t value) {
  StoreBe32(p, static_cast<uint32_t>(value >> 32));
  StoreBe32(p + 4, static_cast<uint32_t>(value));
}

bool TypeIs(const uint8_t* bytes, std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i)
    if (LowerAscii(static_cast<char>(bytes[i])) != LowerAscii(text[i])) return false;
  return true;
}

bool ReadAt(int fd, uint64_t offset, void* buffer, size_t size) {
  auto* out = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    ssize_t got = pread(fd, out, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    offset += static_cast<uint64_t>(got);
    size -= static_cast<size_t>(got);
  }
  return true;
}

bool FindBoxInFile(int fd, uint64_t begin, uint64_t end,
                   const std::function<bool(const Mp4Box&)>& matches, Mp4Box* found) {
  uint64_t offset = begin;
  while (offset < end) {
    if (end - offset < 8) return false;
    uint8_t header[8];
    if (!ReadAt(fd, offset, header, sizeof(header))) return false;
    Mp4Box box;
    box.offset = offset;
    box.size = LoadBe32(header);
    std::copy(header + 4, header + 8, box.type);
    if (box.size < 8 || box.size > end - offset) return false;
    if (matches(box)) {
      *found = box;
      return true;
    }
    offset += box.size;
  }
  return false;
}

bool ForEachBox(const std::vector<uint8_t>& data, size_t begin, size_t end,
                const std::function<bool(const Mp4Box&)>& visit) {
  if (end > data.size() || begin > end) return false;
  size_t offset = begin;
  while (offset < end) {
    if (end - offset < 8) return false;
    Mp4Box box;
    box.offset = offset;
    box.size = LoadBe32(data.data() + offset);
    std::copy(data.data() + offset + 4, data.data() + offset + 8, box.type);
    if (box.size < 8 || box.size > end - offset) return false;
    if (!visit(box)) return false;
    offset += box.size;
  }
  return true;
}

int ShiftChunkOffsets(std::vector<uint8_t>* moov, uint64_t from, int64_t delta) {
  if (delta == 0) return 0;
  if (moov->size() < 8 || LoadBe32(moov->data()) != moov->size()) return -1;
  const std::vector<uint8_t>& data = *moov;
  // The path from the movie box down to the tables: moov/trak/mdia/minf/stbl.
  static constexpr std::string_view kPath[] = {"trak", "mdia", "minf", "stbl"};
  std::function<bool(const Mp4Box&, size_t)> visit = [&](const Mp4Box& box, size_t depth) {
    if (depth == 0 && TypeIs(box.type, "mvex")) return false;  // fragments hold positions too
    if (depth < std::size(kPath)) {
      if (!TypeIs(box.type, kPath[depth])) return true;
      return ForEachBox(data, box.offset + 8, box.end(),
                        [&](const Mp4Box& child) { return visit(child, depth + 1); });
    }
    if (TypeIs(box.type, "saio")) return false;
    if (TypeIs(box.type, "stco")) return ShiftTable(moov, box, false, from, delta) == 0;
    if (TypeIs(box.type, "co64")) return ShiftTable(moov, box, true, from, delta) == 0;
    return true;
  };
  return ForEachBox(data, 8, data.size(), [&](const Mp4Box& box) { return visit(box, 0); }) ? 0
                                                                                             : -1;
}

}  // namespace ovc
