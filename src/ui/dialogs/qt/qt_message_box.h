#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <memory>

#include "common/message_box.h"

namespace ovc {

// The toolkit's icon for a message kind: warning, error (critical),
// information, confirmation (question).
QMessageBox::Icon IconForKind(MessageKind kind);

// The toolkit's buttons for a set of MessageButton flags; an empty set (or
// one without any known flag) gives "OK".
QMessageBox::StandardButtons ButtonsForFlags(unsigned buttons);

// The answer for the button that closed a box; kButtonNone for anything
// that is not one of ours.
MessageButton AnswerForButton(QMessageBox::StandardButton button);

// MessageBox through the toolkit's message dialog: modal, centred on the
// program's active window (else on `parent`, the main window), the text
// shown as plain text, an empty caption replaced by the product name.
class QtMessageBox : public MessageBox {
 public:
  // Create on the user interface thread. `parent` may go away before the
  // box; later messages are then centred on the screen.
  explicit QtMessageBox(QWidget* parent) : parent_(parent) {}

  // Blocks until a button is pressed and returns it (kButtonNone when the
  // box was closed otherwise). Safe from any thread: off the user interface
  // thread the box is shown there through ShowDialogForOtherThread and the
  // caller waits for the answer; the user interface thread is not held
  // meanwhile, and may itself wait for the caller with RunProcessingEvents.
  // Without an application object nobody can answer: returns
  // DefaultAnswer(request.buttons).
  MessageButton Show(const MessageRequest& request) override;

 private:
  // The box for `request`, not yet shown.
  std::unique_ptr<QMessageBox> MakeBox(const MessageRequest& request) const;

  QPointer<QWidget> parent_;
};

}  // namespace ovc
