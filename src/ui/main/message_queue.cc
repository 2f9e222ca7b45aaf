#include "ui/main/message_queue.h"

namespace ovc {

void MessageQueue::Post(const PostedMessage& message) {
  {
    MutexLock lock(&mutex_);
    messages_.push_back(message);
  }
  posted_.Signal();
}

bool MessageQueue::Take(PostedMessage* message, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  MutexLock lock(&mutex_);
  while (messages_.empty() && posted_.WaitUntil(&mutex_, deadline)) {
  }
  if (messages_.empty()) return false;
  *message = messages_.front();
  messages_.pop_front();
  return true;
}

size_t MessageQueue::size() const {
  MutexLock lock(&mutex_);
  return messages_.size();
}

}  // namespace ovc
