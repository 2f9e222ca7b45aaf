#include "ui/main/qt/screenshot_tour.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

#include "ui/dialogs/qt/qt_finished_recording_dialog.h"
#include "ui/dialogs/qt/qt_missing_codec_dialog.h"
#include "ui/dialogs/qt/qt_output_folder_dialog.h"
#include "ui/dialogs/qt/qt_output_settings_dialog.h"
#include "ui/dialogs/qt/qt_save_profile_dialog.h"
#include "ui/main/qt/qt_main_window.h"
#include "ui/main/qt/qt_video_surface.h"
#include "ui/main/qt/still_picture_widget.h"

namespace ovc {
namespace {

constexpr int kPollMs = 50;

void Click(QWidget* parent, const char* name) {
  if (auto* button = parent->findChild<QAbstractButton*>(name)) button->click();
}

void Trigger(QWidget* parent, const char* name) {
  if (auto* action = parent->findChild<QAction*>(name)) action->trigger();
}

}  // namespace

ScreenshotTour::ScreenshotTour(QtMainWindow* window, std::string folder, std::string clip)
    : QObject(window), window_(window), folder_(std::move(folder)), clip_(std::move(clip)) {
  QDir().mkpath(QString::fromStdString(folder_));
  poll_.setInterval(kPollMs);
  connect(&poll_, &QTimer::timeout, this, &ScreenshotTour::Poll);

  QtMainWindow* w = window_;
  // With OVC_SCREENSHOT_FILL_SCREEN set the window takes the whole screen,
  // as a maximised window would.
  Add("fill screen", [w] { return w->isVisible(); }, [w] {
    const char* fill = std::getenv("OVC_SCREENSHOT_FILL_SCREEN");
    if (fill && *fill && w->screen()) w->setGeometry(w->screen()->availableGeometry());
  });
  Add("idle", [w] { return w->isVisible() && w->presenter().profiles().current(); },
      [this, w] { Shoot(w, "01-idle"); });
  Add("not ready", [] { return true; }, [w] { Click(w, "StartRecordingButton"); });
  Add("not ready message", [this] { return Modal<QMessageBox>() != nullptr; }, [this] {
    QMessageBox* box = Modal<QMessageBox>();
    Shoot(box, "02-message-not-ready");
    box->done(QMessageBox::Ok);
  });
  Add("save profile", [] { return true; }, [w] { Click(w, "SaveProfileBtn"); });
  Add("save profile prompt", [this] { return Modal<QtSaveProfileDialog>() != nullptr; }, [this] {
    QtSaveProfileDialog* dialog = Modal<QtSaveProfileDialog>();
    Shoot(dialog, "03-save-profile");
    dialog->reject();
  });
  Add("output settings", [] { return true; }, [w] { Trigger(w, "menu_OutputSetting"); });
  Add("output settings shown", [w] { return w->output_settings_dialog()->isVisible(); }, [this, w] {
    Shoot(w->output_settings_dialog(), "04-output-settings");
    Click(w->output_settings_dialog(), "CancelBtn");
  });
  Add("video menu", [] { return true; }, [w] {
    QWidget* button = w->findChild<QPushButton*>("OpenDVDButton");
    w->open_menu()->popup(button->mapToGlobal(QPoint(0, button->height())));
  });
  Add("video menu shown", [w] { return w->open_menu()->isVisible(); }, [this, w] {
    Shoot(w->open_menu(), "05-choose-video-menu");
    w->open_menu()->hide();
  });
  Add("open", [] { return true; }, [this, w] { w->OpenVideoFile(clip_); });
  Add("playing",
      [w] {
        auto* video = w->findChild<VideoWidget*>("VideoWindow");
        return w->presenter().playback().state() == kRunning && video &&
               video->surface()->presented() >= 25;
      },
      [this, w] { Shoot(w, "06-playing"); });
  Add("pause", [] { return true; }, [w] { Click(w, "PauseButton"); });
  Add("paused",
      [w] {
        auto* still = w->findChild<StillPictureWidget*>("PausedScreenPanel");
        return still && still->isVisible();
      },
      [this, w] { Shoot(w, "07-paused"); });
  // The first conversion of a fresh install asks where converted files go.
  Add("convert", [this] { return Modal<QDialog>() == nullptr; },
      [w] { Click(w, "StartRecordingButton"); });
  Add("output folder shown", [this] { return Modal<QtOutputFolderDialog>() != nullptr; }, [this] {
    QtOutputFolderDialog* dialog = Modal<QtOutputFolderDialog>();
    Shoot(dialog, "08-output-folder");
    Click(dialog, "RadioButton3");
    Click(dialog, "TeButton2");
  });
  Add("converting",
      [w] { return w->presenter().converting() && !w->presenter().progress_status().empty(); },
      [this, w] { Shoot(w, "09-converting"); }, 30000);
  Add("finished", [this] { return Modal<QtFinishedRecordingDialog>() != nullptr; }, [this, w] {
    QtFinishedRecordingDialog* dialog = Modal<QtFinishedRecordingDialog>();
    Shoot(w, "10-finished");
    Shoot(dialog, "11-finished-report");
    Click(dialog, "Button1");
  }, 120000);
  Add("missing codec", [this] { return Modal<QDialog>() == nullptr; },
      [w] { w->missing_codec_dialog()->Show(); });
  Add("missing codec prompt", [this] { return Modal<QtMissingCodecDialog>() != nullptr; }, [this] {
    QtMissingCodecDialog* dialog = Modal<QtMissingCodecDialog>();
    Shoot(dialog, "12-missing-codec");
    dialog->done(kMissingCodecResult);
  });
  Add("transfer", [this] { return Modal<QDialog>() == nullptr; },
      [w] { Trigger(w, "menu_Transfer"); });
  Add("transfer shown", [w] { return w->transfer_window() && w->transfer_window()->isVisible(); },
      [this, w] {
        Shoot(w->transfer_window(), "13-psp-transfer");
        w->transfer_window()->hide();
      });
  Add("close", [this] { return Modal<QDialog>() == nullptr; }, [this, w] {
    poll_.stop();
    w->close();
    QCoreApplication::exit(failures_ == 0 ? 0 : 1);
  });
}

template <typename T>
T* ScreenshotTour::Modal() const {
  return qobject_cast<T*>(QApplication::activeModalWidget());
}

void ScreenshotTour::Add(std::string name, std::function<bool()> ready, std::function<void()> act,
                         int timeout_ms) {
  steps_.push_back(Step{std::move(name), std::move(ready), std::move(act), timeout_ms});
}

void ScreenshotTour::Start() { poll_.start(); }

void ScreenshotTour::Poll() {
  if (next_ >= steps_.size()) return;
  Step& step = steps_[next_];
  if (!step.ready()) {
    waited_ms_ += kPollMs;
    if (waited_ms_ < step.timeout_ms) return;
    std::fprintf(stderr, "screenshots: step \"%s\" timed out\n", step.name.c_str());
    ++failures_;
    ++next_;
    waited_ms_ = 0;
    return;
  }
  ++next_;
  waited_ms_ = 0;
  // From a timer of its own: a step that opens a modal dialog blocks there,
  // while this poll goes on inside the dialog's event loop.
  std::function<void()> act = step.act;
  QTimer::singleShot(0, this, act);
}

void ScreenshotTour::Shoot(QWidget* widget, const std::string& name) {
  if (!widget) return;
  const std::string path = folder_ + "/" + name + ".png";
  if (widget->grab().save(QString::fromStdString(path), "PNG")) {
    written_.push_back(path);
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
  } else {
    std::fprintf(stderr, "screenshots: cannot write %s\n", path.c_str());
    ++failures_;
  }
}

}  // namespace ovc
