#pragma once

#include <QWidget>

namespace ovc {

// PositionRangeBar: a horizontal range bar in whole seconds with a low thumb
// (the playback position and start point) and a high thumb (the stop point,
// hidden until asked for). The thumbs are kThumbWidth pixels wide and their
// centres run from kThumbWidth / 2 to width − kThumbWidth / 2, so a position
// p sits at p × (width − 18) / maximum + 9, the rule the range labels are
// placed by.
//
// Only the user's own actions emit signals: a press (mouse or key), moves of
// a thumb, and the release. The user keeps the thumbs in order: the low one
// never passes the high one while it is shown, nor the high one the low.
// A press on the shown high thumb drags it; anywhere else it takes the low
// thumb. Keys: Left/Right one second, Page Up/Down ten seconds, Home/End the
// ends (the low thumb); with Shift the same for the high thumb. Each key
// press is reported as pressed → lowChanged/highChanged → released, a
// click-and-drag in one go.
class RangeBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kThumbWidth = 18;

  explicit RangeBar(QWidget* parent = nullptr);

  // Programmatic changes: no signals. The maximum is at least 0; thumbs are
  // kept within 0..maximum.
  void SetMaximum(int seconds);
  void SetLow(int seconds);
  void SetHigh(int seconds);
  void SetHighThumbVisible(bool visible);

  int maximum() const { return maximum_; }
  int low() const { return low_; }
  int high() const { return high_; }
  bool high_thumb_visible() const { return high_visible_; }

  // The position a point `x` pixels from the bar's left edge stands for.
  int PositionAt(int x) const;
  // The x of the centre of the thumb at `position`.
  int ThumbCentre(int position) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void pressed();
  void lowChanged(int seconds);
  void highChanged(int seconds);
  void released();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int Clamp(int seconds) const;
  // Moves the low or high thumb as the user did; emits lowChanged or
  // highChanged when it moved.
  void UserMovesLow(int seconds);
  void UserMovesHigh(int seconds);

  int maximum_ = 1;
  int low_ = 0;
  int high_ = 1;
  bool high_visible_ = false;
  bool dragging_ = false;
  bool dragging_high_ = false;
  // Where in the thumb the mouse took hold of it, in pixels from its centre.
  int grab_offset_ = 0;
};

}  // namespace ovc
