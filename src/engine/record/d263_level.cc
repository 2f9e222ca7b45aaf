#include "engine/record/d263_level.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ovc {
namespace {

// The most of a `moov` box read to find the sample description (bytes);
// the `stsd` of the first tracks comes long before this.
constexpr int64_t kMoovBytesRead = 16 << 20;

uint64_t BigEndian(const uint8_t* bytes, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

int WriteD263Level(const std::string& path, int level) {
  if (level <= 0 || level > 255) return -1;
  FileDescriptor file(open(path.c_str(), O_RDWR | O_CLOEXEC));
  struct stat info;
  if (file.get() < 0 || fstat(file.get(), &info) < 0) return -1;
  const int64_t size = info.st_size;
  // Top-level boxes: 32-bit size and type, a 64-bit size after them when
  // the size is 1, to the end of the file when it is 0.
  int64_t at = 0;
  while (at + 8 <= size) {
    uint8_t header[16];
    if (pread(file.get(), header, sizeof header, at) < 8) return -1;
    int64_t box = static_cast<int64_t>(BigEndian(header, 4));
    int header_size = 8;
    if (box == 1) {
      box = static_cast<int64_t>(BigEndian(header + 8, 8));
      header_size = 16;
    } else if (box == 0) {
      box = size - at;
    }
    if (box < header_size || at + box > size) return -1;
    if (std::memcmp(header + 4, "moov", 4) == 0) {
      const int64_t length = std::min(box, kMoovBytesRead);
      std::vector<uint8_t> moov(static_cast<size_t>(length));
      if (pread(file.get(), moov.data(), moov.size(), at) != static_cast<ssize_t>(moov.size()))
        return -1;
      // d263: size, "d263", vendor (4), decoder version (1), level, profile.
      for (size_t i = 4; i + 11 <= moov.size(); ++i) {
        if (std::memcmp(&moov[i], "d263", 4) != 0 || BigEndian(&moov[i - 4], 4) < 15) continue;
        const uint8_t value = static_cast<uint8_t>(level);
        const int64_t offset = at + static_cast<int64_t>(i) + 9;
        return pwrite(file.get(), &value, 1, offset) == 1 ? 0 : -1;
      }
      return -1;
    }
    at += box;
  }
  return -1;
}

}  // namespace ovc
