#include "engine/playback/recording_clock.h"

#include <pthread.h>

#include <cmath>

namespace ovc {

using media::ReferenceTime;

ReferenceTime SteadyTickSource::Now() {
  auto since_epoch = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count() / 100;
}

std::chrono::steady_clock::time_point SteadyTickSource::WhenReaches(ReferenceTime ticks) {
  return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ticks * 100));
}

RecordingClock::RecordingClock(TickSource* ticks) : ticks_(ticks ? ticks : &steady_) {
  base_ = ticks_->Now();
  ticks_->SetListener([this] { TickSourceMoved(); });
  timing_thread_ = std::jthread([this](std::stop_token stop) { TimingThread(stop); });
}

RecordingClock::~RecordingClock() {
  ticks_->SetListener({});
  {
    MutexLock lock(&mutex_);
    stopping_ = true;
  }
  timer_wake_.SignalAll();
  timing_thread_.request_stop();
  timing_thread_.join();
}

double RecordingClock::ReadLocked() {
  ReferenceTime now = ticks_->Now();
  // A tick source never goes back; should one do so, the clock stands still.
  if (now > base_) time_ += static_cast<double>(now - base_) * speed_;
  base_ = now;
  return time_;
}

ReferenceTime RecordingClock::GetTime() {
  MutexLock lock(&mutex_);
  return static_cast<ReferenceTime>(std::floor(ReadLocked()));
}

float RecordingClock::speed() const {
  MutexLock lock(&mutex_);
  return speed_;
}

void RecordingClock::SetSpeed(float speed) {
  {
    MutexLock lock(&mutex_);
    ReadLocked();
    speed_ = speed > 0 ? speed : 0.0f;
  }
  timer_wake_.SignalAll();
}

void RecordingClock::RestartBase() {
  // The clients' moments only come later in real time: the timing thread
  // waking at the moment it worked out before reads the clock again.
  MutexLock lock(&mutex_);
  base_ = ticks_->Now();
}

void RecordingClock::Advance(double seconds) {
  if (!(seconds > 0)) return;
  bool not_yet_due;
  {
    MutexLock lock(&mutex_);
    ReadLocked();
    time_ += seconds * static_cast<double>(media::kUnitsPerSecond);
    // The clients this advance makes due wake by the signal below; the
    // timing thread works out the moment of those still waiting.
    not_yet_due = !waiters_.empty() && static_cast<double>((*waiters_.rbegin())->time) > time_;
  }
  if (not_yet_due) timer_wake_.SignalAll();
  clients_wake_.SignalAll();
}

bool RecordingClock::WaitUntil(ReferenceTime time, std::stop_token cancel) {
  MutexLock lock(&mutex_);
  const double moment = static_cast<double>(time);
  if (ReadLocked() >= moment) return true;
  if (cancel.stop_requested()) return false;
  Waiter waiter{time};
  waiters_.insert(&waiter);
  timer_wake_.SignalAll();
  while (!cancel.stop_requested() && ReadLocked() < moment) clients_wake_.Wait(&mutex_, cancel);
  const bool due = ReadLocked() >= moment;
  // The timing thread removes the clients it found due; a client that woke
  // for another reason (an advance, a cancel) removes itself.
  auto [first, last] = waiters_.equal_range(&waiter);
  for (auto it = first; it != last; ++it) {
    if (*it == &waiter) {
      waiters_.erase(it);
      break;
    }
  }
  return due;
}

void RecordingClock::TickSourceMoved() {
  // Taking the lock makes sure the timing thread is either before its check
  // or already waiting, so the notification is not lost.
  { MutexLock lock(&mutex_); }
  timer_wake_.SignalAll();
}

void RecordingClock::TimingThread(std::stop_token stop) {
  pthread_setname_np(pthread_self(), kName);
  MutexLock lock(&mutex_);
  while (!stopping_ && !stop.stop_requested()) {
    if (waiters_.empty()) {
      timer_wake_.Wait(&mutex_);
      continue;
    }
    double now = ReadLocked();
    bool fired = false;
    while (!waiters_.empty() && static_cast<double>((*waiters_.begin())->time) <= now) {
      waiters_.erase(waiters_.begin());
      fired = true;
    }
    if (fired) clients_wake_.SignalAll();
    if (waiters_.empty()) continue;
    if (speed_ <= 0) {
      // Only an advance or a change of speed can move a stopped clock.
      timer_wake_.Wait(&mutex_);
      continue;
    }
    double remaining = static_cast<double>((*waiters_.begin())->time) - now;
    // Real 100-ns ticks until the earliest client is due, rounded up.
    double real = std::ceil(remaining / speed_);
    const double kLongest = 1e15;  // about three years: far enough for any wait
    ReferenceTime deadline = base_ + static_cast<ReferenceTime>(std::min(real, kLongest));
    auto when = ticks_->WhenReaches(deadline);
    if (when == std::chrono::steady_clock::time_point::max()) timer_wake_.Wait(&mutex_);
    else timer_wake_.WaitUntil(&mutex_, when);
  }
}

}  // namespace ovc
