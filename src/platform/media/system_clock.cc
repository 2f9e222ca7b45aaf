#include "platform/media/system_clock.h"

#include <chrono>

namespace ovc::media {
namespace {

using Units = std::chrono::duration<int64_t, std::ratio<1, kUnitsPerSecond>>;

}  // namespace

ReferenceTime SystemClock::GetTime() {
  return std::chrono::duration_cast<Units>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool SystemClock::WaitUntil(ReferenceTime time, std::stop_token cancel) {
  const std::chrono::steady_clock::time_point deadline{
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(Units(time))};
  MutexLock lock(&mutex_);
  while (std::chrono::steady_clock::now() < deadline) {
    wake_.WaitUntil(&mutex_, cancel, deadline);
    if (cancel.stop_requested()) return false;
  }
  return true;
}

}  // namespace ovc::media
