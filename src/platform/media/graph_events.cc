#include "platform/media/graph_events.h"

#include <chrono>

namespace ovc::media {

void GraphEventQueue::SetNotify(std::function<void()> notify) {
  std::lock_guard lock(mutex_);
  notify_ = std::move(notify);
}

void GraphEventQueue::Post(int32_t code, intptr_t param1, intptr_t param2) {
  std::function<void()> notify;
  {
    std::lock_guard lock(mutex_);
    events_.push_back({code, param1, param2});
    notify = notify_;
  }
  posted_.notify_all();
  if (notify) notify();
}

MediaResult GraphEventQueue::GetEvent(int32_t* code, intptr_t* param1, intptr_t* param2,
                                      int32_t timeout_ms) {
  std::unique_lock lock(mutex_);
  auto has_event = [this] { return !events_.empty(); };
  if (timeout_ms < 0) {
    posted_.wait(lock, has_event);
  } else if (!posted_.wait_for(lock, std::chrono::milliseconds(timeout_ms), has_event)) {
    return kErrorAbort;
  }
  const Event event = events_.front();
  events_.pop_front();
  *code = event.code;
  if (param1) *param1 = event.param1;
  if (param2) *param2 = event.param2;
  return kOk;
}

}  // namespace ovc::media
