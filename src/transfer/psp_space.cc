#include "transfer/psp_space.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ovc {

namespace {

constexpr double kMegabyte = 1048576.0;

uint64_t FileSize(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  return static_cast<uint64_t>(info.st_size);
}

}  // namespace

PspSpace PspSpaceFigures(const DriveTable& drives, int letter,
                         const std::vector<std::string>& files) {
  PspSpace space;
  DriveSpace drive;
  if (drives.QuerySpace(letter, &drive) == 0) {
    space.total_mb = static_cast<double>(drive.total_bytes) / kMegabyte;
    space.free_mb = static_cast<double>(drive.free_bytes) / kMegabyte;
  }
  for (const std::string& file : files)
    space.video_mb += static_cast<double>(FileSize(file)) / kMegabyte;
  space.other_mb = std::max(0.0, space.total_mb - space.video_mb - space.free_mb);
  return space;
}

PspSpace PspSpaceFigures(int letter, const std::vector<std::string>& files) {
  return PspSpaceFigures(DriveTable::Load(), letter, files);
}

std::string SpaceLegendValue(double megabytes) {
  if (!(megabytes > 0)) return "0M";
  if (megabytes < 1) {
    char text[16];
    std::snprintf(text, sizeof(text), "%.1fM", std::max(0.1, std::round(megabytes * 10) / 10));
    return text;
  }
  std::string whole = std::to_string(static_cast<uint64_t>(megabytes));
  std::string grouped;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
    grouped += whole[i];
  }
  return grouped + "M";
}

std::string FileSizeText(uint64_t bytes) {
  double megabytes = static_cast<double>(bytes) / kMegabyte;
  char text[32];
  if (megabytes >= 10)
    std::snprintf(text, sizeof(text), "%lldMB", static_cast<long long>(megabytes));
  else if (megabytes >= 0.1)
    std::snprintf(text, sizeof(text), "%.1fMB", megabytes);
  else
    return "0MB";
  return text;
}

std::string FileSizeColumn(const std::string& path, bool is_folder) {
  return is_folder ? std::string() : FileSizeText(FileSize(path));
}

}  // namespace ovc
