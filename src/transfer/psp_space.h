#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/drives/drive_table.h"

namespace ovc {

// How a memory stick's space is used, in whole MB (1048576 bytes, fractions
// dropped). The pie chart shows free, video and other in that order.
struct PspSpace {
  int64_t total_mb = 0;
  int64_t free_mb = 0;
  int64_t video_mb = 0;
  int64_t other_mb = 0;  // total - video - free, never below 0
};

// Slice labels of the space chart; "None " is the single slice shown while
// no PSP is detected.
inline constexpr const char kFreeSlice[] = "Free";
inline constexpr const char kVideoSlice[] = "Video";
inline constexpr const char kOtherSlice[] = "Other";
inline constexpr const char kNoneSlice[] = "None ";

// The space of the drive of a letter, with the listed video files (a file
// that can't be read counts as nothing). Video is summed in single precision
// as file size / 1048576 per file. A failed size query counts as 0.
PspSpace PspSpaceFigures(int letter, const std::vector<std::string>& files);
PspSpace PspSpaceFigures(const DriveTable& drives, int letter,
                         const std::vector<std::string>& files);

// A legend value in the format "#,##0.###M": thousands separated by commas,
// at most three decimals without trailing zeros, then "M".
std::string SpaceLegendValue(double megabytes);

// The size column of a file list: 10 MB or more as "%dMB" (fraction
// dropped), 0.1 MB or more as "%.1fMB", less as "0MB".
std::string FileSizeText(uint64_t bytes);
// The size column of an entry: "" for a folder; a file that can't be read
// counts as 0 bytes.
std::string FileSizeColumn(const std::string& path, bool is_folder);

}  // namespace ovc
