#pragma once

#include <QWidget>

namespace ovc {

// The notice "Optimizing ..." shown while the rest of the playback graph is
// checked: a small window without a border, always on top, centred on the
// main window. Created once; shown and hidden without blocking. Call on the
// user interface thread.
class QtOptimizingNotice : public QWidget {
  Q_OBJECT

 public:
  // `main_window` is the window the notice centres on (the screen when null).
  explicit QtOptimizingNotice(QWidget* main_window);

  // Places the notice in the middle of the main window as it is now, shows
  // it without taking the focus and lets it paint.
  void Show();
  void Hide();
};

}  // namespace ovc
