#include "engine/record/rate_stats.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/paths.h"
#include "common/trace.h"

namespace ovc {
namespace {

// A libavcodec record without its leading "in:N out:M", and how far its
// coded number runs ahead of its display number (B-pictures reorder).
bool SplitLavcRecord(std::string_view record, int64_t* out_minus_in, std::string_view* rest) {
  long long in = 0, out = 0;
  int used = 0;
  const std::string copy(record.substr(0, 64));
  if (std::sscanf(copy.c_str(), " in:%lld out:%lld%n", &in, &out, &used) != 2) return false;
  *out_minus_in = out - in;
  *rest = record.substr(static_cast<size_t>(used));
  return true;
}

void AppendLavcRecord(std::string* text, std::string_view record, int64_t number) {
  int64_t out_minus_in = 0;
  std::string_view rest;
  if (!SplitLavcRecord(record, &out_minus_in, &rest)) return;
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "in:%" PRId64 " out:%" PRId64, number,
                std::max<int64_t>(0, number + out_minus_in));
  *text += numbers;
  *text += rest;
  *text += ";\n";
}

bool IsXvidFrameLine(std::string_view line) {
  return line.size() > 2 && std::string_view("ipbs").find(line[0]) != std::string_view::npos &&
         line[1] == ' ';
}

}  // namespace

int WriteRateStatsFile(const std::string& path, const std::string& text) {
  const std::string fresh = path + ".new";
  std::FILE* file = std::fopen(fresh.c_str(), "wb");
  bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file) written = std::fclose(file) == 0 && written;
  if (!written || std::rename(fresh.c_str(), path.c_str()) != 0) {
    TracePrintf("Cannot write rate statistics %s: %s", path.c_str(), std::strerror(errno));
    std::remove(fresh.c_str());
    return -1;
  }
  return 0;
}

RateStats ParseRateStats(RateStatsFormat format, std::string_view text) {
  RateStats stats;
  if (format == RateStatsFormat::kLavc) {
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find(';', start);
      if (end == std::string_view::npos) break;  // an unfinished record
      std::string_view record = text.substr(start, end - start);
      int64_t out_minus_in = 0;
      std::string_view rest;
      if (SplitLavcRecord(record, &out_minus_in, &rest)) {
        const size_t first = record.find_first_not_of(" \n\r\t");
        stats.frames.emplace_back(record.substr(first));
      }
      start = end + 1;
    }
    return stats;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (IsXvidFrameLine(line)) stats.frames.emplace_back(line);
    else if (stats.frames.empty() && !line.empty() && line[0] == '#')
      stats.header.append(line).push_back('\n');
    start = end + 1;
  }
  return stats;
}

std::string RateStatsText(RateStatsFormat format, const RateStats& stats, size_t first,
                          size_t pad) {
  if (first >= stats.frames.size()) return {};
  std::string text = stats.header;
  const size_t count = stats.frames.size() - first + pad;
  for (size_t i = 0; i < count; ++i) {
    const std::string& record = stats.frames[std::min(first + i, stats.frames.size() - 1)];
    if (format == RateStatsFormat::kLavc) {
      AppendLavcRecord(&text, record, static_cast<int64_t>(i));
    } else {
      text += record;
      text += '\n';
    }
  }
  return text;
}

int AppendRangeStats(const std::string& path, RateStatsFormat format, std::string_view part_text,
                     int64_t first_frame) {
  RateStats range;
  std::string existing;
  if (first_frame > 0 && ReadRegularFile(path, &existing, /*follow_links=*/false))
    range = ParseRateStats(format, existing);
  // A part begins where the pictures before it end; records beyond that
  // (a part rewritten) are dropped, a gap is filled with the last record.
  const size_t first = static_cast<size_t>(std::max<int64_t>(0, first_frame));
  if (range.frames.size() > first) range.frames.resize(first);
  while (!range.frames.empty() && range.frames.size() < first)
    range.frames.push_back(range.frames.back());
  RateStats part = ParseRateStats(format, part_text);
  if (range.header.empty()) range.header = part.header;
  for (std::string& record : part.frames) range.frames.push_back(std::move(record));
  return WriteRateStatsFile(path, RateStatsText(format, range, 0));
}

std::string ReadRangeStats(const std::string& path, RateStatsFormat format, int64_t first_frame,
                           size_t pad) {
  std::string text;
  if (!ReadRegularFile(path, &text, /*follow_links=*/false)) return {};
  return RateStatsText(format, ParseRateStats(format, text),
                       static_cast<size_t>(std::max<int64_t>(0, first_frame)), pad);
}

std::string NewRangeStatsPath(const std::string& output_path) {
  // FNV-1a of the output path: distinct names for the outputs of one
  // process, the process id for conversions running side by side.
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : output_path) hash = (hash ^ c) * 1099511628211ull;
  char name[80];
  std::snprintf(name, sizeof name, "/pass-%d-%016" PRIx64 ".stats", static_cast<int>(getpid()),
                hash);
  return TempFolder() + name;
}

void RemoveRangeStats(const std::string& path) {
  if (path.empty()) return;
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path file(path);
  const std::string prefix = file.filename().string() + ".";
  fs::remove(file, error);
  for (fs::directory_iterator it(file.parent_path(), error), end; !error && it != end;
       it.increment(error)) {
    std::error_code ignored;
    if (it->path().filename().string().rfind(prefix, 0) == 0) fs::remove(it->path(), ignored);
  }
}

}  // namespace ovc
