#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

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

// MessageBox through the toolkit's message dialog: modal, centred on
// `parent` (the main window), the text shown as plain text, an empty
// caption replaced by the product name.
class QtMessageBox : public MessageBox {
 public:
  // Create on the user interface thread. `parent` may go away before the
  // box; later messages are then centred on the screen.
  explicit QtMessageBox(QWidget* parent) : parent_(parent) {}

  // Blocks until a button is pressed and returns it. Safe from any thread:
  // off the user interface thread the dialog is shown there and the caller
  // waits for the answer (so the user interface thread must not be waiting
  // for the caller without processing events). Without an application
  // object nobody can answer: returns DefaultAnswer(request.buttons).
  MessageButton Show(const MessageRequest& request) override;

 private:
  MessageButton ShowHere(const MessageRequest& request);

  QPointer<QWidget> parent_;
};

}  // namespace ovc
