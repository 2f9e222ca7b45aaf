#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ovc {

// The share of all processors in use since the previous sample, from the
// kernel's accumulated CPU times (/proc/stat).
//
// Each sample takes the aggregate "cpu" line: idle time is idle + iowait,
// total time the sum of user, nice, system, idle, iowait, irq, softirq and
// steal (guest time is already inside user and nice). Between two samples
//   load = 100 - idle ratio * 100 / processors + 0.5
// where the idle ratio is idle time over wall time summed over all
// processors; with the aggregate line that is 100 - d(idle) / d(total) * 100
// + 0.5, so one busy core of four reads about 25.5 and a fully busy machine
// 100.5 (the 0.5 rounds for callers that cut to whole percent).
//
// One owner, one thread; no global state, so several can run side by side.
class CpuLoad {
 public:
  // Returns the text of /proc/stat, or "" when it cannot be read.
  using StatReader = std::function<std::string()>;

  // Reads /proc/stat.
  CpuLoad();
  // Reads through `reader` (tests feed fixed samples).
  explicit CpuLoad(StatReader reader);

  // Takes a sample and returns the load in percent since the previous one.
  // 0 for the first sample, and 0 (keeping the previous sample) when the
  // text cannot be read or parsed or no time has passed.
  double Sample();

 private:
  StatReader reader_;
  bool have_previous_ = false;
  uint64_t previous_idle_ = 0;   // jiffies
  uint64_t previous_total_ = 0;  // jiffies
};

}  // namespace ovc
