#include "qt_test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace ovc::test {
namespace {

constexpr int kPollMilliseconds = 5;
constexpr int kTimeoutMilliseconds = 5000;

// Creates the application object for the whole test program, on the main
// thread that runs the tests, without any display.
class QtApplicationEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[20] = "ui_dialogs_qt_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

testing::Environment* const kQtEnvironment =
    testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

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
    } else if (waited->elapsed() > kTimeoutMilliseconds) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "the expected modal window did not come up";
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    }
  });
  timer->start();
}

}  // namespace

std::string Shown(const QString& caption) {
  QString shown;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) ++i;
    shown += caption[i];
  }
  return shown.toStdString();
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

bool SpinUntil(const std::function<bool()>& done) {
  QElapsedTimer waited;
  waited.start();
  while (!done()) {
    if (waited.elapsed() > kTimeoutMilliseconds) return false;
    QTest::qWait(kPollMilliseconds);
  }
  return true;
}

}  // namespace ovc::test
