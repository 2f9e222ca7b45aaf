#pragma once

#include <string>

namespace ovc {

// The kind of a message box; the numbers are the ones callers pass.
enum class MessageKind { kWarning = 0, kError = 1, kInformation = 2, kConfirmation = 3 };

// Buttons a message box offers, as a set of flags; a box answers with one of
// them. kButtonNone is the answer of a box closed without a button.
enum MessageButton : unsigned {
  kButtonNone = 0,
  kButtonYes = 1u << 0,
  kButtonNo = 1u << 1,
  kButtonOk = 1u << 2,
  kButtonCancel = 1u << 3,
  kButtonAbort = 1u << 4,
  kButtonRetry = 1u << 5,
  kButtonIgnore = 1u << 6,
};
inline constexpr unsigned kButtonsYesNo = kButtonYes | kButtonNo;

// What one message box shows. An empty caption means the product name.
struct MessageRequest {
  std::string text;
  std::string caption;
  MessageKind kind = MessageKind::kInformation;
  unsigned buttons = kButtonOk;
};

// Shows a modal message and returns the button pressed. The desktop program
// implements it with a dialog centred on the main window; tests and the batch
// converter use ScriptedMessageBox.
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  virtual MessageButton Show(const MessageRequest& request) = 0;
};

// The process-wide message box. Until one is installed, messages go to
// standard error and are answered with the first of Yes, Ok, Retry, Ignore,
// Abort, No, Cancel that the request offers.
// InstallMessageBox returns the box installed before (null for the fallback).
MessageBox* InstallMessageBox(MessageBox* box);
MessageBox* InstalledMessageBox();

// Shows a message through the installed message box.
MessageButton ShowMessageBox(const std::string& text, MessageKind kind,
                             unsigned buttons = kButtonOk, const std::string& caption = {});

// The answer a box gives when nobody is there to press a button.
MessageButton DefaultAnswer(unsigned buttons);

}  // namespace ovc
