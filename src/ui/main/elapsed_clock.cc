#include "ui/main/elapsed_clock.h"

#include <utility>

namespace ovc {

ElapsedClock::ElapsedClock(std::function<uint32_t()> ticks) : ticks_(std::move(ticks)) {}

void ElapsedClock::Start() {
  MutexLock lock(&mutex_);
  start_tick_ = ticks_();
  held_ms_ = 0;
  // A question open across the start holds the clock from here on.
  held_since_ = start_tick_;
}

double ElapsedClock::ElapsedSeconds() const {
  MutexLock lock(&mutex_);
  // While a question is open the clock shows the time it had when the
  // first one opened.
  const uint32_t now = open_questions_ > 0 ? held_since_ : ticks_();
  // Unsigned subtraction: right across the 32-bit wrap.
  return static_cast<uint32_t>(now - start_tick_ - held_ms_) * 0.001;
}

void ElapsedClock::QuestionOpened() {
  MutexLock lock(&mutex_);
  if (open_questions_++ == 0) held_since_ = ticks_();
}

void ElapsedClock::QuestionClosed() {
  MutexLock lock(&mutex_);
  if (open_questions_ == 0) return;
  if (--open_questions_ > 0) return;
  held_ms_ += ticks_() - held_since_;
}

}  // namespace ovc
