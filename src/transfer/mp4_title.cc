#include "transfer/mp4_title.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "common/mutex.h"
#include "common/trace.h"
#include "transfer/mp4_boxes.h"
#include "transfer/utf16_text.h"

namespace ovc {

namespace {

// Bounds on what is held in memory; real files stay far below them.
constexpr uint32_t kMaxMetadataBytes = 1u << 20;
constexpr uint32_t kMaxMoovBytes = 256u << 20;

// The uuid box: header (8), extended type (16); then the metadata box:
// size (4), type (4), entry count (2); an entry: size (2), type (4),
// language (2), encoding (2).
constexpr uint32_t kUuidHeader = 24;
constexpr uint32_t kMetadataHeader = 10;
constexpr uint32_t kEntryHeader = 10;
constexpr uint32_t kTitleEntryType = 1;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() { Reset(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now; false when close reports an error (data not written).
  bool Reset() {
    bool ok = true;
    if (fd_ >= 0) ok = close(fd_) == 0;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
};

Mp4TitleStatus LocateInFile(int fd, Mp4TitleLocation* location) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return Mp4TitleStatus::kTitleNotFound;
  Mp4TitleLocation found;
  found.file_size = static_cast<uint64_t>(info.st_size);

  Mp4Box moov;
  if (!FindBoxInFile(fd, 0, found.file_size,
                     [](const Mp4Box& box) { return TypeIs(box.type, "moov"); }, &moov))
    return Mp4TitleStatus::kTitleNotFound;
  found.moov_offset = moov.offset;
  found.moov_size = moov.size;

  Mp4Box uuid;
  auto is_usmt = [fd](const Mp4Box& box) {
    uint8_t extended[4];
    return TypeIs(box.type, "uuid") && box.size >= 12 &&
           ReadAt(fd, box.offset + 8, extended, sizeof(extended)) && TypeIs(extended, "USMT");
  };
  if (!FindBoxInFile(fd, moov.offset + 8, moov.end(), is_usmt, &uuid))
    return Mp4TitleStatus::kTitleNotFound;
  if (uuid.size < kUuidHeader + kMetadataHeader) return Mp4TitleStatus::kTitleNotFound;
  found.uuid_offset = uuid.offset;
  found.uuid_size = uuid.size;

  found.metadata_offset = uuid.offset + kUuidHeader;
  uint8_t size_field[4];
  if (!ReadAt(fd, found.metadata_offset, size_field, sizeof(size_field)))
    return Mp4TitleStatus::kTitleNotFound;
  found.metadata_size = LoadBe32(size_field);
  if (found.metadata_size < kMetadataHeader || found.metadata_size > kMaxMetadataBytes ||
      found.metadata_size > uuid.size - kUuidHeader)
    return Mp4TitleStatus::kTitleNotFound;

  std::vector<uint8_t> metadata(found.metadata_size);
  if (!ReadAt(fd, found.metadata_offset, metadata.data(), metadata.size()))
    return Mp4TitleStatus::kTitleNotFound;
  size_t pos = kMetadataHeader;
  while (metadata.size() - pos >= 6) {
    uint16_t entry_size = LoadBe16(&metadata[pos]);
    uint32_t entry_type = LoadBe32(&metadata[pos + 2]);
    if (entry_size < 6 || entry_size > metadata.size() - pos) break;
    if (entry_type == kTitleEntryType) {
      if (entry_size < kEntryHeader) break;
      found.entry_offset = found.metadata_offset + pos;
      found.entry_size = entry_size;
      *location = found;
      return Mp4TitleStatus::kOk;
    }
    pos += entry_size;
  }
  return Mp4TitleStatus::kTitleNotFound;
}

// The title as stored: UTF-16BE with a zero unit, cut and defaulted as the
// writer promises.
std::vector<uint8_t> EncodeTitle(std::u16string_view title) {
  size_t zero = title.find(u'\0');
  if (zero != std::u16string_view::npos) title = title.substr(0, zero);
  std::u16string units = CutUtf16(title, kMaxTitleUnits);
  if (units.empty()) units.push_back(u' ');
  std::vector<uint8_t> bytes((units.size() + 1) * 2, 0);
  for (size_t i = 0; i < units.size(); ++i) StoreBe16(&bytes[i * 2], units[i]);
  return bytes;
}

// Copies [begin, end) of one file to the current end of another.
bool CopyRange(int from, int to, uint64_t begin, uint64_t end) {
  std::vector<uint8_t> buffer(std::min<uint64_t>(end - begin, 1u << 20));
  while (begin < end) {
    size_t chunk = static_cast<size_t>(std::min<uint64_t>(end - begin, buffer.size()));
    if (!ReadAt(from, begin, buffer.data(), chunk)) return false;
    size_t written = 0;
    while (written < chunk) {
      ssize_t n = write(to, buffer.data() + written, chunk - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      written += static_cast<size_t>(n);
    }
    begin += chunk;
  }
  return true;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

// The temporary file a replacement is writing, for RemoveMp4TitleTemporary.
// One replacement at a time uses it (temporary_slot_mutex); the flag says
// when the name may be removed.
Mutex temporary_slot_mutex;
char temporary_slot[PATH_MAX + 16];
std::atomic<bool> temporary_pending{false};
static_assert(std::atomic<bool>::is_always_lock_free, "read from a signal handler");

// Writes head + new movie box + tail to a temporary file beside `target` and
// renames it over the target. The new file gets the old one's owner, group
// and mode; when the owner or group cannot be kept nothing is replaced.
bool ReplaceFile(const std::string& target, int source, const Mp4TitleLocation& location,
                 const std::vector<uint8_t>& new_moov, const struct stat& original) {
  size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temporary = folder + "/." + name + ".XXXXXX";
  MutexLock slot(&temporary_slot_mutex);
  if (temporary.size() >= sizeof temporary_slot) return false;
  std::memcpy(temporary_slot, temporary.c_str(), temporary.size() + 1);
  // Pending before the file exists: a signal in between finds no file yet.
  temporary_pending = true;
  FileDescriptor out(mkstemp(temporary_slot));
  temporary.assign(temporary_slot);
  bool ok = out.get() >= 0;
  uint64_t moov_end = location.moov_offset + location.moov_size;
  ok = ok && CopyRange(source, out.get(), 0, location.moov_offset) &&
       WriteAll(out.get(), new_moov) && CopyRange(source, out.get(), moov_end, location.file_size);
  struct stat made {};
  if (ok && fstat(out.get(), &made) == 0 &&
      (made.st_uid != original.st_uid || made.st_gid != original.st_gid) &&
      fchown(out.get(), original.st_uid, original.st_gid) != 0) {
    TracePrintf("Cannot give %s its owner back: %s", target.c_str(), std::strerror(errno));
    ok = false;
  }
  // File systems without modes (a memory stick's FAT) may refuse this; the
  // title is still worth writing.
  if (ok) (void)fchmod(out.get(), original.st_mode & 07777);
  ok = ok && fsync(out.get()) == 0;
  ok = out.Reset() && ok;
  if (ok) ok = rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  temporary_pending = false;
  return ok;
}

bool PwriteAll(int fd, const uint8_t* bytes, size_t size, uint64_t offset) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = pwrite(fd, bytes + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool PwriteAll(int fd, const std::vector<uint8_t>& bytes, uint64_t offset) {
  return PwriteAll(fd, bytes.data(), bytes.size(), offset);
}

// Overwrites the title entry where it is: the file keeps its size, owner,
// links and every other byte.
bool RewriteEntryInPlace(int fd, const Mp4TitleLocation& location,
                         const std::vector<uint8_t>& new_moov) {
  const size_t entry = static_cast<size_t>(location.entry_offset - location.moov_offset);
  return PwriteAll(fd, new_moov.data() + entry, location.entry_size, location.entry_offset) &&
         fsync(fd) == 0;
}

}  // namespace

void RemoveMp4TitleTemporary() {
  if (temporary_pending) unlink(temporary_slot);
}

const char* Mp4TitleStatusText(Mp4TitleStatus status) {
  switch (status) {
    case Mp4TitleStatus::kOk: return "ok";
    case Mp4TitleStatus::kNotMp4: return "not an .mp4 file";
    case Mp4TitleStatus::kOpenFailed: return "Fail to open mp4 file";
    case Mp4TitleStatus::kTitleNotFound: return "Fail to find mp4 title";
    case Mp4TitleStatus::kUnsafeLayout:
      return "the file's layout does not allow changing the title safely";
    case Mp4TitleStatus::kWriteFailed: return "the changed file could not be written";
  }
  return "unknown error";
}

bool HasMp4Extension(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.size() - dot != 4) return false;
  return TypeIs(reinterpret_cast<const uint8_t*>(path.data() + dot), ".mp4");
}

Mp4TitleStatus LocateMp4Title(const std::string& path, Mp4TitleLocation* location) {
  if (!HasMp4Extension(path)) return Mp4TitleStatus::kNotMp4;
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Mp4TitleStatus::kOpenFailed;
  return LocateInFile(fd.get(), location);
}

Mp4TitleStatus ReadMp4TitleText(const std::string& path, std::u16string* title) {
  title->clear();
  if (!HasMp4Extension(path)) return Mp4TitleStatus::kNotMp4;
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    TracePrintf("Fail to open mp4 file %s", path.c_str());
    return Mp4TitleStatus::kOpenFailed;
  }
  Mp4TitleLocation location;
  Mp4TitleStatus status = LocateInFile(fd.get(), &location);
  if (status != Mp4TitleStatus::kOk) return status;

  size_t text_bytes = std::min<size_t>(location.entry_size - kEntryHeader, kTitleReadBytes);
  std::vector<uint8_t> text(text_bytes);
  if (!ReadAt(fd.get(), location.text_offset(), text.data(), text.size()))
    return Mp4TitleStatus::kTitleNotFound;
  std::u16string units;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(LoadBe16(&text[i]));
    if (unit == 0) break;
    units.push_back(unit);
  }
  *title = CutUtf16(units, kMaxTitleUnits);
  return Mp4TitleStatus::kOk;
}

std::string ReadMp4Title(const std::string& path) {
  std::u16string title;
  if (ReadMp4TitleText(path, &title) != Mp4TitleStatus::kOk) return std::string();
  return CutUtf8(Utf16ToUtf8(title), kMaxTitleTextBytes);
}

Mp4TitleStatus WriteMp4Title(const std::string& path, std::u16string_view title) {
  TracePrintf("%s", path.c_str());
  std::vector<uint8_t> text = EncodeTitle(title);
  if (!HasMp4Extension(path)) return Mp4TitleStatus::kNotMp4;

  // The new file replaces the one the path leads to, not a link to it.
  std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
  FileDescriptor fd(resolved ? open(resolved.get(), O_RDWR | O_CLOEXEC) : -1);
  struct stat info;
  if (fd.get() < 0 || fstat(fd.get(), &info) != 0) {
    TracePrintf("Fail to open mp4 file %s", path.c_str());
    return Mp4TitleStatus::kOpenFailed;
  }

  Mp4TitleLocation location;
  if (LocateInFile(fd.get(), &location) != Mp4TitleStatus::kOk) {
    TracePrintf("Fail to find mp4 title");
    return Mp4TitleStatus::kTitleNotFound;
  }
  const uint32_t new_entry_size = static_cast<uint32_t>(text.size()) + kEntryHeader;
  const int64_t diff = int64_t{new_entry_size} - location.entry_size;
  TracePrintf("diff=%d", static_cast<int>(diff));

  // Every enclosing size must still fit its 32-bit field.
  auto resized = [diff](uint32_t size) { return int64_t{size} + diff; };
  if (resized(location.moov_size) > UINT32_MAX || location.moov_size > kMaxMoovBytes) {
    TracePrintf("Fail to find mp4 title");
    return Mp4TitleStatus::kUnsafeLayout;
  }

  std::vector<uint8_t> old_moov(location.moov_size);
  if (!ReadAt(fd.get(), location.moov_offset, old_moov.data(), old_moov.size())) {
    TracePrintf("Fail to find mp4 title");
    return Mp4TitleStatus::kTitleNotFound;
  }
  // The new movie box: everything before the entry, the new entry (its type,
  // language and encoding kept), everything after the old entry.
  const size_t entry = static_cast<size_t>(location.entry_offset - location.moov_offset);
  std::vector<uint8_t> moov(old_moov.begin(), old_moov.begin() + entry);
  moov.resize(entry + kEntryHeader);
  std::copy(old_moov.begin() + entry + 2, old_moov.begin() + entry + kEntryHeader,
            moov.begin() + entry + 2);
  StoreBe16(&moov[entry], static_cast<uint16_t>(new_entry_size));
  moov.insert(moov.end(), text.begin(), text.end());
  moov.insert(moov.end(), old_moov.begin() + entry + location.entry_size, old_moov.end());
  StoreBe32(&moov[0], static_cast<uint32_t>(resized(location.moov_size)));
  StoreBe32(&moov[location.uuid_offset - location.moov_offset],
            static_cast<uint32_t>(resized(location.uuid_size)));
  StoreBe32(&moov[location.metadata_offset - location.moov_offset],
            static_cast<uint32_t>(resized(location.metadata_size)));

  // Media data after the movie box moves by diff; so must the chunk offsets
  // that point at it.
  const uint64_t moov_end = location.moov_offset + location.moov_size;
  if (diff != 0 && moov_end < location.file_size &&
      ShiftChunkOffsets(&moov, location.entry_offset + location.entry_size, diff) != 0) {
    TracePrintf("Fail to move chunk offsets of %s", path.c_str());
    return Mp4TitleStatus::kUnsafeLayout;
  }
  TracePrintf("loc1=%x  size1+diff=%d", static_cast<unsigned>(location.moov_offset),
              static_cast<int>(resized(location.moov_size)));

  if (diff == 0) {
    if (!RewriteEntryInPlace(fd.get(), location, moov)) {
      TracePrintf("Fail to write mp4 file %s", path.c_str());
      return Mp4TitleStatus::kWriteFailed;
    }
    return Mp4TitleStatus::kOk;
  }
  // A new file in its place would leave the other names with the old one.
  // With the movie box last, the file can change where it is: the box is
  // rewritten from its start and the file cut to its new end.
  if (info.st_nlink > 1) {
    if (moov_end != location.file_size) {
      TracePrintf("%s has other links; its size cannot change", path.c_str());
      return Mp4TitleStatus::kUnsafeLayout;
    }
    if (!PwriteAll(fd.get(), moov, location.moov_offset) ||
        ftruncate(fd.get(), static_cast<off_t>(location.moov_offset + moov.size())) != 0 ||
        fsync(fd.get()) != 0) {
      TracePrintf("Fail to write mp4 file %s", path.c_str());
      return Mp4TitleStatus::kWriteFailed;
    }
    return Mp4TitleStatus::kOk;
  }
  if (!ReplaceFile(resolved.get(), fd.get(), location, moov, info)) {
    TracePrintf("Fail to write mp4 file %s", path.c_str());
    return Mp4TitleStatus::kWriteFailed;
  }
  return Mp4TitleStatus::kOk;
}

}  // namespace ovc
