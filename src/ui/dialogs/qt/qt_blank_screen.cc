#include "ui/dialogs/qt/qt_blank_screen.h"

#include <QCoreApplication>
#include <QPalette>

namespace ovc {

void PaintShownWindowNow() {
  for (int round = 0; round < 3; ++round) QCoreApplication::processEvents();
}

QtBlankScreen::QtBlankScreen(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus) {
  setWindowTitle(QStringLiteral("Blank Screen"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);
}

void QtBlankScreen::Show() {
  showMaximized();
  raise();
  PaintShownWindowNow();
}

void QtBlankScreen::Hide() { hide(); }

}  // namespace ovc
