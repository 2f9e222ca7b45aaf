#pragma once

#include <QWidget>

namespace ovc {

// Processes the pending events three times, so that a window just shown has
// painted before the caller goes on.
void PaintShownWindowNow();

// "Blank Screen": a black window without a border, always on top and
// maximised, covering the picture while the video path is rebuilt. Created
// once; shown and hidden without blocking. Call on the user interface thread.
class QtBlankScreen : public QWidget {
  Q_OBJECT

 public:
  explicit QtBlankScreen(QWidget* parent = nullptr);

  // Shows the window maximised on top of the others and lets it paint.
  void Show();
  void Hide();
};

}  // namespace ovc
