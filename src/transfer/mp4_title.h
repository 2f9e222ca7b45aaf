#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ovc {

// The title a PSP shows for an MP4 video lives in a metadata box inside the
// movie box (big-endian throughout):
//
//   moov                                  movie box, a top-level box
//     uuid "USMT" + 12 more bytes         user metadata, a child of moov
//       size, type, 2-byte entry count    the metadata box ("MTDT")
//         entries: 2-byte size, 4-byte type (1 = title), 2-byte language,
//                  2-byte encoding, UTF-16BE text ending in a zero unit
//
// Box and entry types are compared without regard to letter case. Only .mp4
// files (any case) are looked at. The reader and writer stay inside the boxes
// whatever their size fields claim.

// The longest title written, in UTF-16 units (a 256-unit buffer with its
// terminator); longer titles are cut.
inline constexpr size_t kMaxTitleUnits = 255;
// Bytes of stored text the reader takes (256 units); the rest is cut.
inline constexpr size_t kTitleReadBytes = 512;
// The most bytes ReadMp4Title returns (a 128-byte buffer with terminator).
inline constexpr size_t kMaxTitleTextBytes = 127;

// Where the title lives: file offsets of each box's size field, and sizes.
struct Mp4TitleLocation {
  uint64_t moov_offset = 0;
  uint32_t moov_size = 0;
  uint64_t uuid_offset = 0;
  uint32_t uuid_size = 0;
  uint64_t metadata_offset = 0;
  uint32_t metadata_size = 0;
  uint64_t entry_offset = 0;
  uint16_t entry_size = 0;
  uint64_t file_size = 0;
  uint64_t text_offset() const { return entry_offset + 10; }
};

enum class Mp4TitleStatus {
  kOk,
  kNotMp4,         // the path does not end in ".mp4"
  kOpenFailed,     // "Fail to open mp4 file %s"
  kTitleNotFound,  // "Fail to find mp4 title": no title entry, or malformed boxes
  kUnsafeLayout,   // changing the size would move data this writer can't follow
  kWriteFailed,    // the new file could not be written; the old one is kept
};

// A short English description of a status, for command-line messages.
const char* Mp4TitleStatusText(Mp4TitleStatus status);

// Whether the path's extension (from its last '.') is ".mp4" in any case.
bool HasMp4Extension(const std::string& path);

// Finds the title entry of a file.
Mp4TitleStatus LocateMp4Title(const std::string& path, Mp4TitleLocation* location);

// The stored title, up to its zero unit, at most kTitleReadBytes of text and
// kMaxTitleUnits units.
Mp4TitleStatus ReadMp4TitleText(const std::string& path, std::u16string* title);

// The stored title as UTF-8, cut to kMaxTitleTextBytes without splitting a
// character; the empty text on any failure. Traces "Fail to open mp4 file %s"
// when the file can't be opened.
std::string ReadMp4Title(const std::string& path);

// Stores a new title. The title is cut at its first zero unit and at
// kMaxTitleUnits; an empty title is stored as a single space. The entry, the
// metadata box, the uuid box, the movie box and the file all change size by
// the same amount D = new entry size - old entry size; when media data lies
// after the movie box, the chunk offsets that point past the entry move by D
// as well. When D is 0 the entry is overwritten where it is. Otherwise the
// file is written to a temporary file beside it, given the old file's owner,
// group and mode, and renamed over it, so on any failure it is left exactly
// as it was. A file with several hard links, which a new file would split,
// is changed where it is when its movie box is last, and refused
// (kUnsafeLayout) otherwise.
Mp4TitleStatus WriteMp4Title(const std::string& path, std::u16string_view title);

// Removes the temporary file a WriteMp4Title in progress is writing, if any.
// Async-signal-safe: meant for a program's SIGINT and SIGTERM handlers, after
// which the program ends.
void RemoveMp4TitleTemporary();

}  // namespace ovc
