#include "platform/media/presentation_scheduler.h"

#include <algorithm>

#include "platform/media/system_clock.h"

namespace ovc::media {

PresentationScheduler::PresentationScheduler(std::function<void()> on_complete)
    : on_complete_(std::move(on_complete)), clock_(std::make_shared<SystemClock>()) {}

void PresentationScheduler::SetClock(std::shared_ptr<ReferenceClock> clock) {
  MutexLock lock(&mutex_);
  clock_ = clock ? std::move(clock) : std::make_shared<SystemClock>();
  WakeAllLocked();
}

std::shared_ptr<ReferenceClock> PresentationScheduler::clock() const {
  MutexLock lock(&mutex_);
  return clock_;
}

void PresentationScheduler::BeginSegment(GraphState state) {
  MutexLock lock(&mutex_);
  streams_.clear();
  streaming_ = true;
  complete_reported_ = false;
  paused_time_ = 0;
  state_ = state;
  // Reading the clock under the lock is safe: a clock never calls back.
  if (state_ == GraphState::kRunning) base_time_ = clock_->GetTime();
  WakeAllLocked();
}

int PresentationScheduler::AddStream() {
  MutexLock lock(&mutex_);
  streams_.emplace_back();
  return static_cast<int>(streams_.size()) - 1;
}

void PresentationScheduler::EndSegment() {
  MutexLock lock(&mutex_);
  streaming_ = false;
  WakeAllLocked();
}

void PresentationScheduler::SetState(GraphState state) {
  MutexLock lock(&mutex_);
  if (state == state_) return;
  if (state_ == GraphState::kRunning) {
    // Remember where the segment stands, so that Run resumes from there.
    paused_time_ = free_running_ ? PositionLocked()
                                 : std::max<ReferenceTime>(0, clock_->GetTime() - base_time_);
  }
  if (state == GraphState::kRunning) base_time_ = clock_->GetTime() - paused_time_;
  if (state == GraphState::kStopped) {
    streams_.clear();
    complete_reported_ = false;
  }
  state_ = state;
  WakeAllLocked();
}

void PresentationScheduler::ClearStreams() {
  MutexLock lock(&mutex_);
  streams_.clear();
  complete_reported_ = false;
}

GraphState PresentationScheduler::state() const {
  MutexLock lock(&mutex_);
  return state_;
}

void PresentationScheduler::SetFreeRunning(bool free_running) {
  MutexLock lock(&mutex_);
  if (free_running == free_running_) return;
  // Back in preview, the clock takes over from where the media got to; the
  // clock itself may have crept far behind while it was not waited on.
  if (!free_running && state_ == GraphState::kRunning) {
    base_time_ = clock_->GetTime() - PositionLocked();
  }
  free_running_ = free_running;
  WakeAllLocked();
}

bool PresentationScheduler::free_running() const {
  MutexLock lock(&mutex_);
  return free_running_;
}

ReferenceTime PresentationScheduler::Position() const {
  MutexLock lock(&mutex_);
  return PositionLocked();
}

bool PresentationScheduler::AllEnded() const {
  MutexLock lock(&mutex_);
  if (streams_.empty()) return false;
  return std::all_of(streams_.begin(), streams_.end(), [](const Stream& s) { return s.ended; });
}

Release PresentationScheduler::WaitForTurn(int stream, ReferenceTime start, ReferenceTime stop) {
  MutexLock lock(&mutex_);
  streams_[stream].arrived = true;
  streams_[stream].arrival = start;
  streams_[stream].arrival_end = std::clamp(stop, start, start + kLongestSample);
  changed_.SignalAll();
  for (;;) {
    if (!streaming_) return Release::kFlushed;
    if (state_ != GraphState::kRunning || !free_running_) return Release::kPresent;
    if (!MustWaitForOthersLocked(stream, start)) return Release::kFreeRun;
    changed_.Wait(&mutex_);
  }
}

Release PresentationScheduler::WaitForSample(int stream, ReferenceTime start,
                                             const std::function<void()>& on_preroll) {
  MutexLock lock(&mutex_);
  const Release release = WaitLocked(start, on_preroll);
  if (release != Release::kFlushed) streams_[stream].position = start;
  return release;
}

void PresentationScheduler::EndOfStream(int stream, ReferenceTime end) {
  MutexLock lock(&mutex_);
  if (WaitLocked(end, nullptr) == Release::kFlushed) return;
  Stream& ended = streams_[stream];
  ended.ended = true;
  ended.position = std::max(ended.position, end);
  changed_.SignalAll();
  const bool all_ended =
      std::all_of(streams_.begin(), streams_.end(), [](const Stream& s) { return s.ended; });
  if (!all_ended || complete_reported_) return;
  complete_reported_ = true;
  lock.Unlock();
  if (on_complete_) on_complete_();
}

void PresentationScheduler::WakeAllLocked() {
  wake_clock_waits_.request_stop();
  wake_clock_waits_ = std::stop_source();
  changed_.SignalAll();
}

bool PresentationScheduler::MustWaitForOthersLocked(int stream, ReferenceTime start) const {
  for (size_t i = 0; i < streams_.size(); ++i) {
    if (static_cast<int>(i) == stream) continue;
    const Stream& other = streams_[i];
    if (other.ended) continue;
    if (!other.arrived || start - other.arrival_end > kMaxLead) return true;
  }
  return false;
}

ReferenceTime PresentationScheduler::PositionLocked() const {
  ReferenceTime position = 0;
  for (const Stream& s : streams_) position = std::max(position, s.position);
  return position;
}

Release PresentationScheduler::WaitLocked(ReferenceTime start,
                                          const std::function<void()>& on_preroll) {
  bool prerolled = false;
  for (;;) {
    if (!streaming_) return Release::kFlushed;
    if (state_ != GraphState::kRunning) {
      if (!prerolled) {
        prerolled = true;
        if (on_preroll) {
          mutex_.Unlock();
          on_preroll();
          mutex_.Lock();
          continue;
        }
      }
      changed_.Wait(&mutex_);
      continue;
    }
    // Free-running: the streams were interleaved where they entered.
    if (free_running_) return Release::kFreeRun;
    // Preview: wait for the sample's time on the clock, without the lock;
    // any change of state, mode or clock cancels the wait.
    const std::shared_ptr<ReferenceClock> clock = clock_;
    const ReferenceTime due = base_time_ + start;
    const std::stop_token cancel = wake_clock_waits_.get_token();
    mutex_.Unlock();
    const bool reached = clock->WaitUntil(due, cancel);
    mutex_.Lock();
    if (reached && !cancel.stop_requested()) return Release::kPresent;
  }
}

}  // namespace ovc::media
