#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/drives/drive_table.h"

namespace ovc {

// How a memory stick's space is used, in MB (1048576 bytes) with their
// fractions. The pie chart shows free, video and other in that order.
struct PspSpace {
  double total_mb = 0;
  double free_mb = 0;
  double video_mb = 0;
  double other_mb = 0;  // total - video - free, never below 0
};

// Slice labels of the space chart.
inline constexpr const char kFreeSlice[] = "Free";
inline constexpr const char kVideoSlice[] = "Video";
inline constexpr const char kOtherSlice[] = "Other";

// The space of the drive of a letter, with the listed video files (a file
// that can't be read counts as nothing). A failed size query counts as 0.
PspSpace PspSpaceFigures(int letter, const std::vector<std::string>& files);
PspSpace PspSpaceFigures(const DriveTable& drives, int letter,
                         const std::vector<std::string>& files);

// A legend value: whole MB with thousands separated by commas ("1,024M",
// fraction dropped) from 1 MB on; below, rounded to tenths but never below
// 0.1 so that a little never reads as nothing ("0.6M", "0.1M"); "0M" for none.
std::string SpaceLegendValue(double megabytes);

// The size column of a file list: 10 MB or more as "%dMB" (fraction
// dropped), 0.1 MB or more as "%.1fMB", less as "0MB".
std::string FileSizeText(uint64_t bytes);
// The size column of an entry: "" for a folder; a file that can't be read
// counts as 0 bytes.
std::string FileSizeColumn(const std::string& path, bool is_folder);

}  // namespace ovc
