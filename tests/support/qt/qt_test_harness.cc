#include "support/qt/qt_test_harness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <memory>

namespace ovc::test {
namespace {

// Events run this long between two checks of a condition.
constexpr int kPollMilliseconds = 5;

// Polls `ready` from the event loop; runs `action` once it holds.
void WhenReady(std::function<QWidget*()> ready, std::function<void(QWidget*)> action) {
  auto* timer = new QTimer(qApp);
  auto waited = std::make_shared<QElapsedTimer>();
  waited->start();
  timer->setInterval(kPollMilliseconds);
  QObject::connect(timer, &QTimer::timeout, timer, [=] {
    if (QWidget* widget = ready()) {
      timer->stop();
      timer->deleteLater();
      action(widget);
    } else if (waited->elapsed() > kUiWaitLimit.count()) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "the expected modal window did not come up";
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    }
  });
  timer->start();
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  QElapsedTimer waited;
  waited.start();
  while (!done()) {
    if (waited.elapsed() > limit.count()) return false;
    QTest::qWait(kPollMilliseconds);
  }
  return true;
}

void RunPostedEvents() {
  // Posted events run in the order they were posted: once this one ran,
  // every one before it has.
  auto ran = std::make_shared<bool>(false);
  QMetaObject::invokeMethod(qApp, [ran] { *ran = true; }, Qt::QueuedConnection);
  EXPECT_TRUE(WaitUntil([ran] { return *ran; })) << "the posted events did not run";
}

void WhenModal(QWidget* dialog, std::function<void()> action) {
  WhenReady(
      [dialog]() -> QWidget* {
        return QApplication::activeModalWidget() == dialog && dialog->isVisible() ? dialog
                                                                                  : nullptr;
      },
      [action](QWidget*) { action(); });
}

void WhenMessageBox(std::function<void(QMessageBox*)> action) {
  WhenReady(
      []() -> QWidget* {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        return box && box->isVisible() ? box : nullptr;
      },
      [action](QWidget* box) { action(static_cast<QMessageBox*>(box)); });
}

std::string Shown(const QString& caption) {
  QString shown;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) ++i;
    shown += caption[i];
  }
  return shown.toStdString();
}

}  // namespace ovc::test
