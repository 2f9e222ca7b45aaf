#include "ui/dialogs/qt/qt_message_box.h"

#include <QCoreApplication>

#include "common/paths.h"
#include "ui/dialogs/qt/qt_gui_thread.h"
#include "ui/dialogs/qt/qt_text.h"

namespace ovc {
namespace {

struct ButtonPair {
  MessageButton ours;
  QMessageBox::StandardButton toolkit;
};

// In the order the buttons are offered.
constexpr ButtonPair kButtonPairs[] = {
    {kButtonYes, QMessageBox::Yes},       {kButtonNo, QMessageBox::No},
    {kButtonOk, QMessageBox::Ok},         {kButtonCancel, QMessageBox::Cancel},
    {kButtonAbort, QMessageBox::Abort},   {kButtonRetry, QMessageBox::Retry},
    {kButtonIgnore, QMessageBox::Ignore},
};

}  // namespace

QMessageBox::Icon IconForKind(MessageKind kind) {
  switch (kind) {
    case MessageKind::kWarning:
      return QMessageBox::Warning;
    case MessageKind::kError:
      return QMessageBox::Critical;
    case MessageKind::kInformation:
      return QMessageBox::Information;
    case MessageKind::kConfirmation:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ButtonsForFlags(unsigned buttons) {
  QMessageBox::StandardButtons result;
  for (const ButtonPair& pair : kButtonPairs) {
    if (buttons & pair.ours) result |= pair.toolkit;
  }
  if (!result) result = QMessageBox::Ok;
  return result;
}

MessageButton AnswerForButton(QMessageBox::StandardButton button) {
  for (const ButtonPair& pair : kButtonPairs) {
    if (pair.toolkit == button) return pair.ours;
  }
  return kButtonNone;
}

MessageButton QtMessageBox::Show(const MessageRequest& request) {
  if (!QCoreApplication::instance()) return DefaultAnswer(request.buttons);
  return CallOnGuiThread([this, &request] { return ShowHere(request); });
}

MessageButton QtMessageBox::ShowHere(const MessageRequest& request) {
  QString caption = ToQString(request.caption.empty() ? std::string(kProductName)
                                                      : request.caption);
  // Parented to the main window, the dialog opens centred on it.
  QMessageBox box(IconForKind(request.kind), caption, ToQString(request.text),
                  ButtonsForFlags(request.buttons), parent_.data());
  box.setTextFormat(Qt::PlainText);
  return AnswerForButton(static_cast<QMessageBox::StandardButton>(box.exec()));
}

}  // namespace ovc
