#include "ui/dialogs/qt/qt_gui_thread.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace ovc {
namespace {

// One thread's wait for the answer of a dialog.
class DialogAnswer {
 public:
  // The first answer counts; later ones are ignored.
  void Give(int result) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (given_) return;
    given_ = true;
    result_ = result;
    changed_.notify_all();
  }

  int Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return given_; });
    return result_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool given_ = false;
  int result_ = 0;
};

// Held by everything on the user interface thread that may still answer a
// request: the queued call and the dialog's connection. When the last one
// goes without an answer (the dialog was destroyed, or the queued call was
// dropped with the application's event queue) the caller gets 0 instead of
// waiting for ever.
class PendingAnswer {
 public:
  explicit PendingAnswer(std::shared_ptr<DialogAnswer> answer) : answer_(std::move(answer)) {}
  ~PendingAnswer() { answer_->Give(0); }
  PendingAnswer(const PendingAnswer&) = delete;
  PendingAnswer& operator=(const PendingAnswer&) = delete;

  void Give(int result) { answer_->Give(result); }

 private:
  std::shared_ptr<DialogAnswer> answer_;
};

}  // namespace

int ShowDialogForOtherThread(std::function<QDialog*()> open, bool delete_when_finished) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || OnGuiThread()) return 0;
  auto answer = std::make_shared<DialogAnswer>();
  auto pending = std::make_shared<PendingAnswer>(answer);
  QMetaObject::invokeMethod(
      app,
      [open = std::move(open), pending, delete_when_finished] {
        QDialog* dialog = open();
        if (!dialog) {
          pending->Give(0);
          return;
        }
        // The connection lives as long as this watcher, which goes with the
        // answer (or with the dialog).
        auto* watcher = new QObject(dialog);
        QObject::connect(dialog, &QDialog::finished, watcher,
                         [pending, watcher, dialog, delete_when_finished](int result) {
                           pending->Give(result);
                           watcher->deleteLater();
                           if (delete_when_finished) dialog->deleteLater();
                         });
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
      },
      Qt::QueuedConnection);
  pending.reset();
  return answer->Wait();
}

void RunProcessingEvents(const std::function<void()>& work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || !OnGuiThread()) {
    work();
    return;
  }
  const bool widgets = qobject_cast<QApplication*>(app) != nullptr;
  std::atomic<bool> done{false};
  std::thread helper([&work, &done, app] {
    work();
    done.store(true);
    // Wakes the loop below from its wait for events.
    QMetaObject::invokeMethod(app, [] {}, Qt::QueuedConnection);
  });
  while (!done.load()) {
    // Input reaches only the modal dialog while one is up; otherwise it
    // waits until the work is done, so no command starts in the middle of
    // this one.
    const bool modal = widgets && QApplication::activeModalWidget() != nullptr;
    QCoreApplication::processEvents(
        QEventLoop::WaitForMoreEvents |
        (modal ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents));
  }
  helper.join();
}

}  // namespace ovc
