#include "common/scripted_message_box.h"

namespace ovc {

MessageButton ScriptedMessageBox::Show(const MessageRequest& request) {
  MutexLock lock(&mutex_);
  shown_.push_back(request);
  if (!script_.empty()) {
    MessageButton answer = script_.front();
    script_.pop_front();
    return answer;
  }
  return has_fallback_ ? fallback_ : DefaultAnswer(request.buttons);
}

void ScriptedMessageBox::Answer(MessageButton answer) {
  MutexLock lock(&mutex_);
  script_.push_back(answer);
}

void ScriptedMessageBox::SetFallback(MessageButton answer) {
  MutexLock lock(&mutex_);
  has_fallback_ = true;
  fallback_ = answer;
}

std::vector<MessageRequest> ScriptedMessageBox::Shown() const {
  MutexLock lock(&mutex_);
  return shown_;
}

std::vector<std::string> ScriptedMessageBox::Texts() const {
  MutexLock lock(&mutex_);
  std::vector<std::string> texts;
  for (const MessageRequest& request : shown_) texts.push_back(request.text);
  return texts;
}

void ScriptedMessageBox::Clear() {
  MutexLock lock(&mutex_);
  shown_.clear();
  script_.clear();
}

}  // namespace ovc
