#include "common/message_box.h"

#include <atomic>
#include <cstdio>

namespace ovc {
namespace {

std::atomic<MessageBox*> installed_box{nullptr};

class StderrMessageBox : public MessageBox {
 public:
  MessageButton Show(const MessageRequest& request) override {
    std::fprintf(stderr, "%s%s%s\n", request.caption.c_str(), request.caption.empty() ? "" : ": ",
                 request.text.c_str());
    return DefaultAnswer(request.buttons);
  }
};

}  // namespace

MessageButton DefaultAnswer(unsigned buttons) {
  for (MessageButton button : {kButtonYes, kButtonOk, kButtonRetry, kButtonIgnore, kButtonAbort,
                               kButtonNo, kButtonCancel}) {
    if (buttons & button) return button;
  }
  return kButtonNone;
}

MessageBox* InstallMessageBox(MessageBox* box) { return installed_box.exchange(box); }

MessageBox* InstalledMessageBox() {
  static StderrMessageBox fallback;
  MessageBox* box = installed_box.load();
  return box ? box : &fallback;
}

MessageButton ShowMessageBox(const std::string& text, MessageKind kind, unsigned buttons,
                             const std::string& caption) {
  return InstalledMessageBox()->Show(MessageRequest{text, caption, kind, buttons});
}

}  // namespace ovc
