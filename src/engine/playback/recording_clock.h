#pragma once

#include <chrono>
#include <functional>
#include <set>
#include <stop_token>
#include <thread>

#include "common/mutex.h"
#include "platform/media/reference_clock.h"

namespace ovc {

// Real time as the recording clock sees it: a monotonic count of 100-ns
// units. The steady source follows the system's monotonic clock; tests use a
// source they move by hand.
class TickSource {
 public:
  virtual ~TickSource() = default;

  // Monotonic real time in 100-ns units.
  virtual media::ReferenceTime Now() = 0;

  // The steady-clock moment at which Now() reaches `ticks`. A source that
  // does not follow real time answers time_point::max() and instead calls the
  // listener each time it moves.
  virtual std::chrono::steady_clock::time_point WhenReaches(media::ReferenceTime ticks) = 0;

  // Installs (or, with an empty function, removes) the listener.
  virtual void SetListener(std::function<void()> moved) { (void)moved; }
};

// CLOCK_MONOTONIC through std::chrono::steady_clock.
class SteadyTickSource : public TickSource {
 public:
  media::ReferenceTime Now() override;
  std::chrono::steady_clock::time_point WhenReaches(media::ReferenceTime ticks) override;
};

// The reference clock of the playback graph, through which the capture
// paces playback during a conversion.
//
// Its time is the time last read plus the real time elapsed since its base
// times the speed, plus whatever was advanced since; in 100-ns units, never
// going backwards. Reading moves the base to now. Speed 1.0 is real time;
// the capture runs the clock at 0.01 while converting (0.0005 while it
// switches output files) and pushes it forward by what is left of each frame
// period, so the graph delivers the next picture as soon as the capture is
// ready for it.
//
// A speed change keeps the time continuous: the real time elapsed so far
// counts at the old speed. Restarting the base discards the real time
// elapsed since the last read.
//
// Waiting clients (WaitUntil) are woken by the clock's own timing thread
// when real time brings the clock to their moment, and at once when an
// advance or a speed change does. All members are safe on any thread.
class RecordingClock : public media::ReferenceClock {
 public:
  // The clock's name in the graph.
  static constexpr const char* kName = "vxclk";

  // `ticks` (not owned) must outlive the clock; null uses a steady source.
  explicit RecordingClock(TickSource* ticks = nullptr);
  ~RecordingClock() override;
  RecordingClock(const RecordingClock&) = delete;
  RecordingClock& operator=(const RecordingClock&) = delete;

  media::ReferenceTime GetTime() override;
  bool WaitUntil(media::ReferenceTime time, std::stop_token cancel) override;

  float speed() const;
  // Negative or not-a-number speeds count as 0 (the clock stands still).
  void SetSpeed(float speed);
  // Discards the real time elapsed since the last read.
  void RestartBase();
  // Moves the clock forward by `seconds` (ignored unless positive) and wakes
  // the clients whose moment this reaches.
  void Advance(double seconds);

 private:
  struct Waiter {
    media::ReferenceTime time;
  };
  struct EarlierWaiter {
    bool operator()(const Waiter* a, const Waiter* b) const { return a->time < b->time; }
  };

  // Brings time_ up to now and moves the base there. Returns time_.
  double ReadLocked() OVC_REQUIRES(mutex_);
  void TimingThread(std::stop_token stop);
  void TickSourceMoved() OVC_EXCLUDES(mutex_);

  TickSource* ticks_;
  SteadyTickSource steady_;

  mutable Mutex mutex_;
  // Wakes the timing thread: a new client, a change of speed, base or time.
  CondVar timer_wake_;
  // Wakes the waiting clients; so does a cancel request.
  StoppableCondVar clients_wake_;
  double time_ OVC_GUARDED_BY(mutex_) = 0;                // 100-ns units, with fractions
  media::ReferenceTime base_ OVC_GUARDED_BY(mutex_) = 0;  // tick of the last read or restart
  float speed_ OVC_GUARDED_BY(mutex_) = 1.0f;
  // Clients not yet due.
  std::multiset<Waiter*, EarlierWaiter> waiters_ OVC_GUARDED_BY(mutex_);
  bool stopping_ OVC_GUARDED_BY(mutex_) = false;

  std::jthread timing_thread_;
};

}  // namespace ovc
