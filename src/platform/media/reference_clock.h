#pragma once

#include <stop_token>

#include "platform/media/media_types.h"

namespace ovc::media {

// The clock a filter graph runs on. The graph takes a base time from it at
// Run; a sample whose start is s (100-ns units, relative to the segment
// start) is due when the clock reads base + s. Preview renderers wait for
// that moment with WaitUntil; in free-running mode nothing waits on it.
//
// Implementations are shared by the graph's streaming threads, its control
// thread and whoever drives the clock, so every member must be safe to call
// from any thread at any time. The graph reads the clock, and cancels waits,
// while holding its own lock: a clock must never call back into the graph.
class ReferenceClock {
 public:
  virtual ~ReferenceClock() = default;

  // The clock's time in 100-ns units. Never goes backwards.
  virtual ReferenceTime GetTime() = 0;

  // Blocks until the clock reads at least `time` and returns true, or
  // returns false as soon as `cancel` is requested (the graph does this on
  // Pause, Stop, a seek or a change of mode). The wait must end at once when
  // the clock reaches `time`, whether by real time passing or because the
  // clock was moved forward (advanced, sped up): no polling interval. Any
  // number of threads may wait at the same time.
  virtual bool WaitUntil(ReferenceTime time, std::stop_token cancel) = 0;
};

}  // namespace ovc::media
