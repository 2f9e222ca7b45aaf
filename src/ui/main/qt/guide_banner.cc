#include "ui/main/qt/guide_banner.h"

#include <QEventLoop>
#include <QPainter>
#include <QVariantAnimation>

namespace ovc {
namespace {

constexpr int kPadding = 12;  // pixels either side of the text

}  // namespace

QColor ColourFromBgr(uint32_t bgr) {
  return QColor(bgr & 0xff, (bgr >> 8) & 0xff, (bgr >> 16) & 0xff);
}

GuideBanner::GuideBanner(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignCenter);
  setObjectName("TopStatusLabel");
  QFont bold = font();
  bold.setBold(true);
  setFont(bold);
  background_ = palette().color(QPalette::Window);
  shown_ = background_;
  setFixedHeight(fontMetrics().height() + 8);
}

void GuideBanner::SetTextColour(const QColor& colour) {
  text_colour_ = colour;
  update();
}

void GuideBanner::SetBackground(const QColor& colour) {
  background_ = colour.isValid() ? colour : palette().color(QPalette::Window);
  if (!frozen_) {
    shown_ = background_;
    update();
  }
}

void GuideBanner::Fade(const QColor& from, const QColor& to) {
  background_ = to;
  if (from == to || !isVisible()) {
    shown_ = to;
    update();
    return;
  }
  QVariantAnimation animation;
  animation.setDuration(kAnimationMs);
  animation.setStartValue(from);
  animation.setEndValue(to);
  connect(&animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
    shown_ = value.value<QColor>();
    repaint();
  });
  QEventLoop loop;
  connect(&animation, &QVariantAnimation::finished, &loop, &QEventLoop::quit);
  animation.start();
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  shown_ = to;
  update();
}

void GuideBanner::Freeze() { frozen_ = true; }

void GuideBanner::Restore() {
  frozen_ = false;
  shown_ = background_;
  update();
}

int GuideBanner::WidthFor(const QString& text) const {
  return fontMetrics().horizontalAdvance(text) + 2 * kPadding;
}

void GuideBanner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(shown_.darker(125), 1));
  painter.setBrush(shown_);
  painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
  painter.setPen(text_colour_);
  painter.setFont(font());
  painter.drawText(rect(), Qt::AlignCenter, text());
}

}  // namespace ovc
