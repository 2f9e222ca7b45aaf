#include "ui/dialogs/qt/qt_message_box.h"

#include <QApplication>
#include <QGridLayout>
#include <QSpacerItem>

#include "common/paths.h"
#include "ui/dialogs/qt/qt_gui_thread.h"
#include "ui/dialogs/qt/qt_text.h"

namespace ovc {
namespace {

// Room beside a message box's title for the window manager's buttons.
constexpr int kTitleMargin = 160;

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
  if (OnGuiThread()) {
    std::unique_ptr<QMessageBox> box = MakeBox(request);
    return AnswerForButton(static_cast<QMessageBox::StandardButton>(box->exec()));
  }
  // Another thread (an encoding thread, a capture callback) asks: the box
  // opens on the user interface thread without holding it in a nested
  // event loop, since that thread may be about to wait for this one.
  const int pressed = ShowDialogForOtherThread(
      [this, &request]() -> QDialog* { return MakeBox(request).release(); },
      /*delete_when_finished=*/true);
  return AnswerForButton(static_cast<QMessageBox::StandardButton>(pressed));
}

std::unique_ptr<QMessageBox> QtMessageBox::MakeBox(const MessageRequest& request) const {
  QString caption = ToQString(request.caption.empty() ? std::string(kProductName)
                                                      : request.caption);
  // Parented to the window the user works in (the transfer window asking
  // before a delete), the dialog opens centred on it and hands the focus
  // back to it: the main window is not raised above it. With none of ours
  // active, the main window.
  QWidget* parent = QApplication::activeWindow();
  if (!parent) parent = parent_.data();
  auto box = std::make_unique<QMessageBox>(IconForKind(request.kind), caption,
                                           ToQString(request.text),
                                           ButtonsForFlags(request.buttons), parent);
  box->setTextFormat(Qt::PlainText);
  // Wide enough for its title: a window manager cuts a title that does not
  // fit the window ("Orvane Vid...r Zezivovi").
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
    const int title_width = box->fontMetrics().horizontalAdvance(caption) + kTitleMargin;
    grid->addItem(new QSpacerItem(title_width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  return box;
}

}  // namespace ovc
