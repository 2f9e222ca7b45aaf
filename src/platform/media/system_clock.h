#pragma once

#include "common/mutex.h"
#include "platform/media/reference_clock.h"

namespace ovc::media {

// The plain reference clock a graph runs on when it is given none: the
// machine's monotonic time in 100-ns units.
class SystemClock final : public ReferenceClock {
 public:
  ReferenceTime GetTime() override;
  bool WaitUntil(ReferenceTime time, std::stop_token cancel) override;

 private:
  // Only ever woken by a cancel request: real time alone moves this clock,
  // so a wait needs nothing but its deadline.
  Mutex mutex_;
  StoppableCondVar wake_;
};

}  // namespace ovc::media
