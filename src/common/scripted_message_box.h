#pragma once

#include <deque>
#include <vector>

#include "common/message_box.h"
#include "common/mutex.h"

namespace ovc {

// A message box without a screen: answers from a script, in order, and
// records every request. When the script runs out it gives the fallback
// answer, or DefaultAnswer() of the request's buttons when none is set.
// An answer the request does not offer is still returned as scripted, so a
// test can see a caller that mishandles it. Safe to use from any thread.
class ScriptedMessageBox : public MessageBox {
 public:
  ScriptedMessageBox() = default;
  explicit ScriptedMessageBox(std::initializer_list<MessageButton> answers) {
    MutexLock lock(&mutex_);
    script_.assign(answers);
  }

  MessageButton Show(const MessageRequest& request) override;

  void Answer(MessageButton answer);
  void SetFallback(MessageButton answer);

  // Every request shown so far, oldest first.
  std::vector<MessageRequest> Shown() const;
  // The texts of every request shown so far.
  std::vector<std::string> Texts() const;
  void Clear();

 private:
  mutable Mutex mutex_;
  std::deque<MessageButton> script_ OVC_GUARDED_BY(mutex_);
  bool has_fallback_ OVC_GUARDED_BY(mutex_) = false;
  MessageButton fallback_ OVC_GUARDED_BY(mutex_) = kButtonNone;
  std::vector<MessageRequest> shown_ OVC_GUARDED_BY(mutex_);
};

// Installs a message box for the lifetime of the object, putting back the
// one installed before.
class ScopedMessageBox {
 public:
  explicit ScopedMessageBox(MessageBox* box) : previous_(InstallMessageBox(box)) {}
  ~ScopedMessageBox() { InstallMessageBox(previous_); }
  ScopedMessageBox(const ScopedMessageBox&) = delete;
  ScopedMessageBox& operator=(const ScopedMessageBox&) = delete;

 private:
  MessageBox* previous_;
};

}  // namespace ovc
