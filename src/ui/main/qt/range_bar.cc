#include "ui/main/qt/range_bar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ovc {
namespace {

constexpr int kTrackHeight = 6;
constexpr int kThumbHeight = 18;

}  // namespace

RangeBar::RangeBar(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setAccessibleName("Position");
}

QSize RangeBar::sizeHint() const { return QSize(320, kThumbHeight + 4); }

QSize RangeBar::minimumSizeHint() const { return QSize(4 * kThumbWidth, kThumbHeight + 4); }

int RangeBar::Clamp(int seconds) const { return std::clamp(seconds, 0, maximum_); }

void RangeBar::SetMaximum(int seconds) {
  maximum_ = std::max(seconds, 0);
  low_ = Clamp(low_);
  high_ = Clamp(high_);
  update();
}

void RangeBar::SetLow(int seconds) {
  low_ = Clamp(seconds);
  update();
}

void RangeBar::SetHigh(int seconds) {
  high_ = Clamp(seconds);
  update();
}

void RangeBar::SetHighThumbVisible(bool visible) {
  high_visible_ = visible;
  update();
}

int RangeBar::ThumbCentre(int position) const {
  const int half = kThumbWidth / 2;
  if (maximum_ <= 0) return half;
  const int span = std::max(width() - kThumbWidth, 0);
  return static_cast<int>(static_cast<int64_t>(position) * span / maximum_) + half;
}

int RangeBar::PositionAt(int x) const {
  const int span = width() - kThumbWidth;
  if (maximum_ <= 0 || span <= 0) return 0;
  const double fraction = static_cast<double>(x - kThumbWidth / 2) / span;
  return Clamp(static_cast<int>(std::lround(fraction * maximum_)));
}

void RangeBar::UserMovesLow(int seconds) {
  seconds = Clamp(seconds);
  if (high_visible_) seconds = std::min(seconds, high_);
  if (seconds == low_) return;
  low_ = seconds;
  update();
  emit lowChanged(low_);
}

void RangeBar::UserMovesHigh(int seconds) {
  seconds = std::max(Clamp(seconds), low_);
  if (seconds == high_) return;
  high_ = seconds;
  update();
  emit highChanged(high_);
}

void RangeBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette& pal = palette();
  const int half = kThumbWidth / 2;
  const int track_top = (height() - kTrackHeight) / 2;
  const QRectF track(half, track_top, std::max(width() - kThumbWidth, 1), kTrackHeight);

  painter.setPen(QPen(pal.color(QPalette::Mid), 1));
  painter.setBrush(pal.color(QPalette::Base));
  painter.drawRoundedRect(track, 3, 3);

  // The range that a conversion will record.
  const int low_x = ThumbCentre(low_);
  const int high_x = ThumbCentre(high_);
  if (high_x > low_x) {
    QColor range = pal.color(QPalette::Highlight);
    range.setAlpha(isEnabled() ? 200 : 80);
    painter.setPen(Qt::NoPen);
    painter.setBrush(range);
    painter.drawRoundedRect(QRectF(low_x, track_top + 1, high_x - low_x, kTrackHeight - 2), 2, 2);
  }

  auto draw_thumb = [&](int centre, bool primary) {
    const QRectF body(centre - half + 1.5, (height() - kThumbHeight) / 2 + 0.5, kThumbWidth - 3,
                      kThumbHeight - 1);
    QColor fill = primary ? pal.color(QPalette::Button) : pal.color(QPalette::Window);
    if (primary && hasFocus()) fill = pal.color(QPalette::Highlight).lighter(170);
    painter.setPen(QPen(isEnabled() ? pal.color(QPalette::Dark) : pal.color(QPalette::Mid), 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(body, 3, 3);
    // A grip in the middle marks the exact position.
    painter.drawLine(QPointF(centre, body.top() + 4), QPointF(centre, body.bottom() - 4));
  };
  if (high_visible_) draw_thumb(high_x, false);
  draw_thumb(low_x, true);
}

void RangeBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  const int x = static_cast<int>(event->position().x());
  const int centre = ThumbCentre(low_);
  const int high_centre = ThumbCentre(high_);
  dragging_ = true;
  // The high thumb is drawn under the low one: where they overlap, the
  // nearer centre wins, the low thumb on a tie.
  dragging_high_ = high_visible_ && std::abs(x - high_centre) <= kThumbWidth / 2 &&
                   std::abs(x - high_centre) < std::abs(x - centre);
  emit pressed();
  if (dragging_high_) {
    grab_offset_ = x - high_centre;
  } else if (std::abs(x - centre) <= kThumbWidth / 2) {
    grab_offset_ = x - centre;
  } else {
    // A click on the track takes the thumb there.
    grab_offset_ = 0;
    UserMovesLow(PositionAt(x));
  }
}

void RangeBar::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  if (dragging_high_) {
    UserMovesHigh(PositionAt(static_cast<int>(event->position().x()) - grab_offset_));
    return;
  }
  UserMovesLow(PositionAt(static_cast<int>(event->position().x()) - grab_offset_));
}

void RangeBar::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !dragging_) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  dragging_ = false;
  dragging_high_ = false;
  emit released();
}

void RangeBar::keyPressEvent(QKeyEvent* event) {
  const bool high = high_visible_ && (event->modifiers() & Qt::ShiftModifier);
  const int from = high ? high_ : low_;
  int target = from;
  switch (event->key()) {
    case Qt::Key_Left: target = from - 1; break;
    case Qt::Key_Right: target = from + 1; break;
    case Qt::Key_PageDown: target = from - 10; break;
    case Qt::Key_PageUp: target = from + 10; break;
    case Qt::Key_Home: target = 0; break;
    case Qt::Key_End: target = maximum_; break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  if (dragging_ || Clamp(target) == from) return;
  emit pressed();
  if (high) UserMovesHigh(target);
  else UserMovesLow(target);
  emit released();
}

}  // namespace ovc
