#pragma once

#include <cstdint>
#include <functional>

#include "common/mutex.h"

namespace ovc {

// The wall time a conversion pass has run, leaving out the time a question
// was open: the conversion waits for the answer, so that time says nothing
// about its speed. Questions come from the user interface thread (Stop,
// Close) and from the capture thread (overwrite the next part), and may be
// open at the same time; the clock stands still while any is open.
//
//   running --QuestionOpened--> held (n open) --QuestionClosed (last)--> running
//
// Safe to use from any thread.
class ElapsedClock {
 public:
  // `ticks`: milliseconds of a monotonic clock, wrapping at 32 bits.
  explicit ElapsedClock(std::function<uint32_t()> ticks);

  // Starts counting from zero (a new pass). A question open across the
  // start holds the clock until it closes.
  void Start();
  // Seconds counted since Start.
  double ElapsedSeconds() const;

  void QuestionOpened();
  void QuestionClosed();

 private:
  const std::function<uint32_t()> ticks_;
  mutable Mutex mutex_;
  uint32_t start_tick_ OVC_GUARDED_BY(mutex_) = 0;
  // Milliseconds the clock stood still since Start, up to held_since_.
  uint32_t held_ms_ OVC_GUARDED_BY(mutex_) = 0;
  uint32_t held_since_ OVC_GUARDED_BY(mutex_) = 0;
  int open_questions_ OVC_GUARDED_BY(mutex_) = 0;
};

}  // namespace ovc
