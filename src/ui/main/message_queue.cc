#include "ui/main/message_queue.h"

namespace ovc {

void MessageQueue::Post(const PostedMessage& message) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(message);
  }
  posted_.notify_one();
}

bool MessageQueue::Take(PostedMessage* message, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!posted_.wait_for(lock, limit, [this] { return !messages_.empty(); })) return false;
  *message = messages_.front();
  messages_.pop_front();
  return true;
}

size_t MessageQueue::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_.size();
}

}  // namespace ovc
