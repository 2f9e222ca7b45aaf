#include "engine/record/output_claim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace ovc {
namespace {

// The most split parts a name is checked for: "… - 99" is the last two-digit
// part name.
constexpr int kLastCheckedPart = 99;

// The path without the extension of its file name, and the extension
// (without its dot).
void SplitExtension(const std::string& path, std::string* base, std::string* extension) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    *base = path.substr(0, dot);
    *extension = path.substr(dot + 1);
  } else {
    *base = path;
    extension->clear();
  }
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string PartPath(const std::string& first_part, int number) {
  std::string base, extension;
  SplitExtension(first_part, &base, &extension);
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, " - %02d", number);
  return base + suffix + (extension.empty() ? "" : "." + extension);
}

std::vector<std::string> PathsAConversionWrites(const std::string& output_path, bool psp_file) {
  std::vector<std::string> paths{output_path};
  for (int part = 2; part <= kLastCheckedPart; ++part)
    paths.push_back(PartPath(output_path, part));
  if (psp_file) {
    std::string base, extension;
    SplitExtension(output_path, &base, &extension);
    paths.push_back(base + ".THM");
    paths.push_back(base + ".thm");
  }
  return paths;
}

std::string OutputThatIsTheSource(const std::string& source_path, const std::string& output_path,
                                  bool psp_file) {
  struct stat source;
  if (source_path.empty() || stat(source_path.c_str(), &source) != 0) return "";
  for (const std::string& path : PathsAConversionWrites(output_path, psp_file)) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && info.st_dev == source.st_dev &&
        info.st_ino == source.st_ino)
      return path;
  }
  return "";
}

std::string OutputIsTheSourceText(const std::string& path) {
  return path + " is the file being converted; choose another output folder or name";
}

namespace {

int OpenClaimed(const std::string& path, int extra_flags) {
  // Without waiting: a FIFO in the output's place has no reader.
  return open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | extra_flags, 0666);
}

}  // namespace

bool OutputClaim::TakeNew(const std::string& path) {
  Release();
  const int fd = OpenClaimed(path, O_EXCL);
  if (fd < 0) return false;
  // Nobody else can have it open yet; the lock is for later claimants.
  flock(fd, LOCK_EX | LOCK_NB);
  fd_ = fd;
  return true;
}

bool OutputClaim::Take(const std::string& path) {
  Release();
  const int fd = OpenClaimed(path, 0);
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return false;
  }
  fd_ = fd;
  return true;
}

void OutputClaim::Release() {
  if (fd_ < 0) return;
  close(fd_);  // ends the lock
  fd_ = -1;
}

}  // namespace ovc
