#include "ui/dialogs/qt/qt_optimizing_notice.h"

#include <QFrame>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/dialogs/output_settings_presenter.h"
#include "ui/dialogs/qt/qt_blank_screen.h"

namespace ovc {

QtOptimizingNotice::QtOptimizingNotice(QWidget* main_window)
    : QWidget(main_window, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  auto* frame = new QFrame(this);
  frame->setFrameShape(QFrame::Box);
  frame->setFrameShadow(QFrame::Plain);
  auto* label = new QLabel(QStringLiteral("Optimizing ..."), frame);
  label->setObjectName(QStringLiteral("OptimizingLabel"));
  label->setAlignment(Qt::AlignCenter);
  auto* inner = new QVBoxLayout(frame);
  inner->setContentsMargins(32, 16, 32, 16);
  inner->addWidget(label);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(frame);
  setAutoFillBackground(true);
  adjustSize();
}

void QtOptimizingNotice::Show() {
  QRect owner = parentWidget() ? parentWidget()->window()->frameGeometry()
                               : screen()->availableGeometry();
  WindowRect placed = CentredOn(WindowRect{owner.left(), owner.top(), owner.width(), owner.height()},
                                width(), height());
  move(placed.left, placed.top);
  show();
  raise();
  PaintShownWindowNow();
}

void QtOptimizingNotice::Hide() { hide(); }

}  // namespace ovc
