#include "platform/vfw/two_pass_stats.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/paths.h"
#include "common/trace.h"

namespace ovc::vfw {

StatsWriter::StatsWriter(std::string path, std::string part_path, std::FILE* file)
    : path_(std::move(path)), part_path_(std::move(part_path)), file_(file) {}

std::unique_ptr<StatsWriter> StatsWriter::Create(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path parent = fs::path(path).parent_path();
  if (!parent.empty()) fs::create_directories(parent, error);
  fs::remove(path, error);
  // A new file of a name nobody could guess or plant a link at.
  std::string part_path = path + ".part-XXXXXX";
  int fd = mkstemp(part_path.data());
  std::FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (file == nullptr) {
    int failure = errno;
    if (fd >= 0) {
      close(fd);
      unlink(part_path.c_str());
    }
    TracePrintf("vfw: cannot create statistics file %s: %s", part_path.c_str(),
                std::strerror(failure));
    return nullptr;
  }
  return std::unique_ptr<StatsWriter>(new StatsWriter(path, std::move(part_path), file));
}

StatsWriter::~StatsWriter() {
  if (file_) {
    file_.reset();
    std::remove(part_path_.c_str());
  }
}

bool StatsWriter::Append(std::string_view text) {
  if (!file_) return false;
  if (std::fwrite(text.data(), 1, text.size(), file_.get()) != text.size()) {
    TracePrintf("vfw: cannot write statistics file %s: %s", part_path_.c_str(),
                std::strerror(errno));
    return false;
  }
  return true;
}

bool StatsWriter::Finish() {
  if (!file_) return false;
  bool written = std::fflush(file_.get()) == 0;
  // fclose reports errors of the last buffered write too.
  written = std::fclose(file_.release()) == 0 && written;
  if (!written || std::rename(part_path_.c_str(), path_.c_str()) != 0) {
    TracePrintf("vfw: cannot complete statistics file %s: %s", path_.c_str(),
                std::strerror(errno));
    std::remove(part_path_.c_str());
    return false;
  }
  return true;
}

bool ReadStatsFile(const std::string& path, std::string* text) {
  // The first pass leaves a regular file; a link or anything else in its
  // place was not made by it.
  std::string data;
  if (!ReadRegularFile(path, &data, /*follow_links=*/false) || data.empty()) return false;
  *text = std::move(data);
  return true;
}

int CountStatsFrames(StatsFormat format, std::string_view text) {
  int frames = 0;
  switch (format) {
    case StatsFormat::kNone:
      break;
    case StatsFormat::kLavc:
      for (char c : text) frames += c == ';';
      break;
    case StatsFormat::kXvid: {
      // Frame lines read "<type> <quant> <blocks>..."; comments start with '#'.
      size_t start = 0;
      while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (line.size() > 2 && std::string_view("ipbs").find(line[0]) != std::string_view::npos &&
            line[1] == ' ') {
          ++frames;
        }
        start = end + 1;
      }
      break;
    }
  }
  return frames;
}

}  // namespace ovc::vfw
