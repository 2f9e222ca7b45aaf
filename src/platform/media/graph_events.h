#pragma once

#include <cstdint>
#include <deque>
#include <functional>

#include "common/mutex.h"
#include "platform/media/media_result.h"

namespace ovc::media {

// Event codes, as the framework numbers them.
inline constexpr int32_t kEventComplete = 0x01;    // every rendered stream reached its end
inline constexpr int32_t kEventErrorAbort = 0x03;  // playback stopped by an error; param1 = code
inline constexpr int32_t kEventRepaint = 0x05;     // the video needs painting and no picture is held

// The graph's event queue. Posting an event calls the host's notification
// (which typically posts a window message to the UI thread); the host then
// takes the events with GetEvent. Safe from any thread.
class GraphEventQueue {
 public:
  // The notification is called after each event is queued, on the posting
  // thread and without any lock held; it must not block.
  void SetNotify(std::function<void()> notify);
  void Post(int32_t code, intptr_t param1 = 0, intptr_t param2 = 0);
  // Takes the oldest event. Waits up to `timeout_ms` for one (0: do not
  // wait; negative: wait as long as it takes). kOk, or kErrorAbort when none
  // came.
  MediaResult GetEvent(int32_t* code, intptr_t* param1, intptr_t* param2, int32_t timeout_ms);

 private:
  struct Event {
    int32_t code;
    intptr_t param1;
    intptr_t param2;
  };

  Mutex mutex_;
  CondVar posted_;
  std::deque<Event> events_ OVC_GUARDED_BY(mutex_);
  std::function<void()> notify_ OVC_GUARDED_BY(mutex_);
};

}  // namespace ovc::media
