#pragma once

#include <chrono>
#include <cstdint>
#include <deque>

#include "common/mutex.h"

namespace ovc {

// One posted window message.
struct PostedMessage {
  uint32_t message = 0;
  intptr_t wparam = 0;
  intptr_t lparam = 0;
};

// The user interface thread's queue of posted messages for a window without
// a toolkit: any thread posts, the user interface thread takes.
class MessageQueue {
 public:
  void Post(const PostedMessage& message);
  // The oldest message, waiting up to `limit` for one; false when none came.
  bool Take(PostedMessage* message, std::chrono::milliseconds limit);
  size_t size() const;

 private:
  mutable Mutex mutex_;
  CondVar posted_;
  std::deque<PostedMessage> messages_ OVC_GUARDED_BY(mutex_);
};

}  // namespace ovc
