#pragma once

#include <QLabel>

namespace ovc {

// A one-line label that never clips its text: what does not fit is elided
// in the middle (where a long path has its least telling part) and the
// whole text is the tool tip. text() is the whole text.
class ElidingLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidingLabel(QWidget* parent = nullptr);

  void SetFullText(const QString& text);
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace ovc
