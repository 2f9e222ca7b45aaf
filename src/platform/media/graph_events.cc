#include "platform/media/graph_events.h"

#include <chrono>

namespace ovc::media {

void GraphEventQueue::SetNotify(std::function<void()> notify) {
  MutexLock lock(&mutex_);
  notify_ = std::move(notify);
}

void GraphEventQueue::Post(int32_t code, intptr_t param1, intptr_t param2) {
  std::function<void()> notify;
  {
    MutexLock lock(&mutex_);
    events_.push_back({code, param1, param2});
    notify = notify_;
  }
  posted_.SignalAll();
  if (notify) notify();
}

MediaResult GraphEventQueue::GetEvent(int32_t* code, intptr_t* param1, intptr_t* param2,
                                      int32_t timeout_ms) {
  MutexLock lock(&mutex_);
  if (timeout_ms < 0) {
    while (events_.empty()) posted_.Wait(&mutex_);
  } else {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (events_.empty() && posted_.WaitUntil(&mutex_, deadline)) {
    }
    if (events_.empty()) return kErrorAbort;
  }
  const Event event = events_.front();
  events_.pop_front();
  *code = event.code;
  if (param1) *param1 = event.param1;
  if (param2) *param2 = event.param2;
  return kOk;
}

}  // namespace ovc::media
