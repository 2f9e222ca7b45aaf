#include "ui/main/qt/eliding_label.h"

#include <QPainter>

namespace ovc {

ElidingLabel::ElidingLabel(QWidget* parent) : QLabel(parent) {
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  setTextFormat(Qt::PlainText);
}

void ElidingLabel::SetFullText(const QString& text) {
  setText(text);
  setToolTip(fontMetrics().horizontalAdvance(text) > contentsRect().width() ? text : QString());
}

QSize ElidingLabel::minimumSizeHint() const {
  return QSize(fontMetrics().averageCharWidth() * 10, QLabel::minimumSizeHint().height());
}

void ElidingLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = contentsRect();
  const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::WindowText));
  painter.drawText(area, static_cast<int>(alignment()), shown);
}

}  // namespace ovc
