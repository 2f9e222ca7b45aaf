#include "ui/main/cpu_load.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

namespace ovc {
namespace {

std::string ReadProcStat() {
  std::ifstream file("/proc/stat");
  if (!file) return {};
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The aggregate "cpu" line's idle (idle + iowait) and total jiffies. False
// when the text has no such line with at least user, nice, system and idle.
bool ParseCpuLine(const std::string& text, uint64_t* idle, uint64_t* total) {
  const std::string_view all(text);
  size_t line_start = 0;
  while (line_start < all.size()) {
    size_t line_end = all.find('\n', line_start);
    if (line_end == std::string_view::npos) line_end = all.size();
    const std::string_view line = all.substr(line_start, line_end - line_start);
    line_start = line_end + 1;
    if (line.substr(0, 4) != "cpu ") continue;

    // user nice system idle iowait irq softirq steal [guest guest_nice]
    const std::string fields(line.substr(4));
    const char* cursor = fields.c_str();
    uint64_t value[8] = {};
    int count = 0;
    while (count < 8) {
      char* end = nullptr;
      errno = 0;
      const unsigned long long number = std::strtoull(cursor, &end, 10);
      if (end == cursor || errno != 0) break;
      value[count++] = number;
      cursor = end;
    }
    if (count < 4) return false;
    *idle = value[3] + value[4];
    *total = 0;
    for (int i = 0; i < count; ++i) *total += value[i];
    return true;
  }
  return false;
}

}  // namespace

CpuLoad::CpuLoad() : CpuLoad(ReadProcStat) {}

CpuLoad::CpuLoad(StatReader reader) : reader_(std::move(reader)) {}

double CpuLoad::Sample() {
  uint64_t idle = 0;
  uint64_t total = 0;
  if (!reader_ || !ParseCpuLine(reader_(), &idle, &total)) return 0;

  double load = 0;
  // Counters that went backwards (another kernel, a wrapped counter) give no
  // value; the new sample is the base for the next one.
  if (have_previous_ && total > previous_total_ && idle >= previous_idle_) {
    const double idle_share = static_cast<double>(idle - previous_idle_) /
                              static_cast<double>(total - previous_total_);
    load = 100 - idle_share * 100 + 0.5;
  }
  have_previous_ = true;
  previous_idle_ = idle;
  previous_total_ = total;
  return load;
}

}  // namespace ovc
