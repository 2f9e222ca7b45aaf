#include "transfer/psp_space.h"

#include <sys/stat.h>

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
    space.total_mb = static_cast<int64_t>(drive.total_bytes / 1024 / 1024);
    space.free_mb = static_cast<int64_t>(drive.free_bytes / 1024 / 1024);
  }
  float video = 0.0f;
  for (const std::string& file : files)
    video += static_cast<float>(static_cast<double>(FileSize(file)) / kMegabyte);
  space.video_mb = static_cast<int64_t>(video);
  double other = static_cast<double>(space.total_mb) - video - static_cast<double>(space.free_mb);
  space.other_mb = other > 0 ? static_cast<int64_t>(other) : 0;
  return space;
}

PspSpace PspSpaceFigures(int letter, const std::vector<std::string>& files) {
  return PspSpaceFigures(DriveTable::Load(), letter, files);
}

std::string SpaceLegendValue(double megabytes) {
  bool negative = megabytes < 0;
  // Thousandths, rounded half away from zero.
  uint64_t thousandths = static_cast<uint64_t>(std::llround(std::fabs(megabytes) * 1000.0));
  std::string whole = std::to_string(thousandths / 1000);
  std::string grouped;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
    grouped += whole[i];
  }
  std::string text = negative && thousandths > 0 ? "-" + grouped : grouped;
  if (unsigned fraction = static_cast<unsigned>(thousandths % 1000); fraction != 0) {
    char digits[8];
    std::snprintf(digits, sizeof(digits), "%03u", fraction);
    std::string decimals = digits;
    while (decimals.back() == '0') decimals.pop_back();
    text += "." + decimals;
  }
  return text + "M";
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
