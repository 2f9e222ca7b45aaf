#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace ovc {

class QtMainWindow;

// Walks the main window through a whole session and saves a picture of the
// window and of every dialog on the way, as PNG files in a folder: idle, the
// not-ready message, the profile prompt, the output settings, the video
// menu, playing, paused, the output folder choice, converting, finished
// (window and report), the missing-codec prompt and the PSP transfer
// window (when the program has one). The pictures are the
// widgets' own rendering (QWidget::grab), so no screen-capture tool is
// needed. Ends the application when done: exit code 0 when every step
// happened, 1 when one timed out (the others are still taken).
//
// For looking at the program, not for users: ovc runs it for the hidden
// option --screenshots FOLDER with the clip as the file argument. Run it in
// a throw-away settings world (OVC_HOME, OVC_REGISTRY, OVC_TEMP and HOME):
// it converts the clip with the first output folder choice.
class ScreenshotTour : public QObject {
  Q_OBJECT

 public:
  ScreenshotTour(QtMainWindow* window, std::string folder, std::string clip);

  // Starts once the event loop runs.
  void Start();

  // The files written so far.
  const std::vector<std::string>& written() const { return written_; }

 private:
  struct Step {
    std::string name;
    std::function<bool()> ready;  // polled until true
    std::function<void()> act;    // runs once ready (may block in a dialog)
    int timeout_ms;
  };
  void Add(std::string name, std::function<bool()> ready, std::function<void()> act,
           int timeout_ms = 15000);
  void Poll();
  // Saves `widget`'s picture as <folder>/<name>.png.
  void Shoot(QWidget* widget, const std::string& name);
  // The modal dialog on top, when it is of type T.
  template <typename T>
  T* Modal() const;

  QtMainWindow* window_;
  std::string folder_;
  std::string clip_;
  std::vector<Step> steps_;
  size_t next_ = 0;
  int waited_ms_ = 0;
  int failures_ = 0;
  QTimer poll_;
  std::vector<std::string> written_;
};

}  // namespace ovc
