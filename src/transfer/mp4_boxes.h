#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace ovc {

// Bounded walking of MP4 boxes. A box is a 32-bit big-endian size (header
// included) followed by a four-character type. Every walk stays inside the
// range it is given: a box whose size is below 8 (this covers 0, "to the end
// of the file", and 1, "64-bit size follows") or that runs past the end of
// its range ends the walk as malformed.

uint16_t LoadBe16(const uint8_t* p);
uint32_t LoadBe32(const uint8_t* p);
uint64_t LoadBe64(const uint8_t* p);
void StoreBe16(uint8_t* p, uint16_t value);
void StoreBe32(uint8_t* p, uint32_t value);
void StoreBe64(uint8_t* p, uint64_t value);

// Whether the bytes equal the text, ignoring ASCII letter case.
bool TypeIs(const uint8_t* bytes, std::string_view text);

struct Mp4Box {
  uint64_t offset = 0;  // of the size field
  uint32_t size = 0;    // including the header
  uint8_t type[4] = {};
  uint64_t end() const { return offset + size; }
};

// Reads exactly `size` bytes at `offset` of a file. False on a short read or
// an error.
bool ReadAt(int fd, uint64_t offset, void* buffer, size_t size);

// Walks the boxes that fill [begin, end) of a file and stops at the first for
// which `matches` returns true (it may read more of the file through fd).
// False when no box matched or a box is malformed or can't be read.
bool FindBoxInFile(int fd, uint64_t begin, uint64_t end,
                   const std::function<bool(const Mp4Box&)>& matches, Mp4Box* found);

// Calls `visit` for every box that fills [begin, end) of a buffer, with the
// box's offset in the buffer. Returns false when a box is malformed or a
// visit returns false.
bool ForEachBox(const std::vector<uint8_t>& data, size_t begin, size_t end,
                const std::function<bool(const Mp4Box&)>& visit);

// Adds `delta` to every chunk offset (stco, co64 in moov/trak/mdia/minf/stbl)
// of a movie box held in `moov` that is at least `from`. Offsets are file
// positions. Returns 0, or -1 (the buffer may then be partly changed) when the
// track boxes are malformed, a shifted offset does not fit its field, or the
// movie carries other absolute file positions that would move too (movie
// fragments, sample auxiliary offsets).
int ShiftChunkOffsets(std::vector<uint8_t>* moov, uint64_t from, int64_t delta);

}  // namespace ovc
