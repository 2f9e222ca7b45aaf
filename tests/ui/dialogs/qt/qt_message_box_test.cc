#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <gtest/gtest.h>

#include <QTimer>

#include <atomic>
#include <chrono>
#include <future>
#include <ostream>
#include <thread>

#include "common/paths.h"
#include "common/scripted_message_box.h"
#include "support/qt/qt_test_harness.h"
#include "ui/dialogs/qt/qt_gui_thread.h"
#include "ui/dialogs/qt/qt_message_box.h"
#include "ui/dialogs/qt/qt_save_file_dialog.h"

namespace ovc {
namespace {

using test::WhenMessageBox;

struct ShownBox {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  std::string caption;
  std::string text;
  Qt::TextFormat format = Qt::AutoText;
  QRect geometry;
  QWidget* parent = nullptr;
  bool on_gui_thread = false;
};

// Records the next message box and closes it with `press`.
void AnswerNextBox(QMessageBox::StandardButton press, ShownBox* shown) {
  WhenMessageBox([press, shown](QMessageBox* box) {
    shown->icon = box->icon();
    shown->buttons = box->standardButtons();
    shown->caption = box->windowTitle().toStdString();
    shown->text = box->text().toStdString();
    shown->format = box->textFormat();
    shown->geometry = box->frameGeometry();
    shown->parent = box->parentWidget();
    shown->on_gui_thread = QThread::currentThread() == qApp->thread();
    QAbstractButton* button = box->button(press);
    ASSERT_NE(button, nullptr) << "the box has no such button";
    button->click();
  });
}

struct ButtonCase {
  const char* name;
  unsigned flags;
  QMessageBox::StandardButtons offered;
  QMessageBox::StandardButton press;
  MessageButton answer;
};
void PrintTo(const ButtonCase& c, std::ostream* os) { *os << c.name; }

class QtMessageBoxButtonsTest : public testing::TestWithParam<ButtonCase> {};

TEST_P(QtMessageBoxButtonsTest, OffersTheFlaggedButtonsAndAnswersThePressedOne) {
  const ButtonCase& c = GetParam();
  QtMessageBox message_box(nullptr);
  ShownBox shown;
  AnswerNextBox(c.press, &shown);
  EXPECT_EQ(message_box.Show({"Overwrite?", "", MessageKind::kConfirmation, c.flags}), c.answer);
  EXPECT_EQ(shown.buttons, c.offered);
}

INSTANTIATE_TEST_SUITE_P(
    QtDialogsFlags, QtMessageBoxButtonsTest,
    testing::Values(
        ButtonCase{"yes_no_answers_no", kButtonsYesNo, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::No, kButtonNo},
        ButtonCase{"yes_no_answers_yes", kButtonsYesNo, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::Yes, kButtonYes},
        ButtonCase{"ok", kButtonOk, QMessageBox::Ok, QMessageBox::Ok, kButtonOk},
        ButtonCase{"ok_cancel", kButtonOk | kButtonCancel, QMessageBox::Ok | QMessageBox::Cancel,
                   QMessageBox::Cancel, kButtonCancel},
        ButtonCase{"abort_retry_ignore", kButtonAbort | kButtonRetry | kButtonIgnore,
                   QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
                   QMessageBox::Retry, kButtonRetry},
        ButtonCase{"no_flags_gives_ok", 0, QMessageBox::Ok, QMessageBox::Ok, kButtonOk}),
    [](const testing::TestParamInfo<ButtonCase>& info) { return std::string(info.param.name); });

struct KindCase {
  const char* name;
  MessageKind kind;
  QMessageBox::Icon icon;
};
void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

class QtMessageBoxKindTest : public testing::TestWithParam<KindCase> {};

TEST_P(QtMessageBoxKindTest, ShowsTheKindsIconAndTheTextAsPlainText) {
  QtMessageBox message_box(nullptr);
  ShownBox shown;
  AnswerNextBox(QMessageBox::Ok, &shown);
  message_box.Show({"Cannot open <b>x</b>.avi", "", GetParam().kind, kButtonOk});
  EXPECT_EQ(shown.icon, GetParam().icon);
  EXPECT_EQ(shown.text, "Cannot open <b>x</b>.avi");
  EXPECT_EQ(shown.format, Qt::PlainText);
  EXPECT_EQ(shown.caption, kProductName);
}

INSTANTIATE_TEST_SUITE_P(
    QtDialogsKinds, QtMessageBoxKindTest,
    testing::Values(KindCase{"warning", MessageKind::kWarning, QMessageBox::Warning},
                    KindCase{"error", MessageKind::kError, QMessageBox::Critical},
                    KindCase{"information", MessageKind::kInformation, QMessageBox::Information},
                    KindCase{"confirmation", MessageKind::kConfirmation, QMessageBox::Question}),
    [](const testing::TestParamInfo<KindCase>& info) { return std::string(info.param.name); });

TEST(QtMessageBoxTest, KeepsAGivenCaptionAndCentresOnItsParent) {
  QWidget main_window;
  main_window.setGeometry(100, 80, 640, 480);
  main_window.show();
  QtMessageBox message_box(&main_window);
  ShownBox shown;
  AnswerNextBox(QMessageBox::Ok, &shown);
  message_box.Show({"No privilege to shutdown", "Error", MessageKind::kError, kButtonOk});
  EXPECT_EQ(shown.caption, "Error");
  QPoint offset = shown.geometry.center() - main_window.frameGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 2);
}

// A question asked from another window of the program (the transfer window
// before a delete) opens over that window: the main window stays behind.
TEST(QtMessageBoxTest, OpensOverTheActiveWindowRatherThanTheMainWindow) {
  QWidget main_window;
  main_window.setGeometry(100, 80, 640, 480);
  main_window.show();
  QWidget transfer_window;
  transfer_window.setGeometry(300, 200, 640, 480);
  transfer_window.show();
  transfer_window.activateWindow();
  ASSERT_TRUE(test::WaitUntil([&] { return QApplication::activeWindow() == &transfer_window; }));
  QtMessageBox message_box(&main_window);
  ShownBox shown;
  AnswerNextBox(QMessageBox::No, &shown);
  EXPECT_EQ(message_box.Show({"Delete selected files?", "", MessageKind::kConfirmation,
                              kButtonsYesNo}),
            kButtonNo);
  EXPECT_EQ(shown.parent, &transfer_window);
}

TEST(QtMessageBoxTest, AWorkerThreadGetsTheAnswerOfABoxShownOnTheGuiThread) {
  QtMessageBox message_box(nullptr);
  ScopedMessageBox installed(&message_box);
  ShownBox shown;
  AnswerNextBox(QMessageBox::No, &shown);
  std::atomic<bool> done{false};
  MessageButton answer = kButtonNone;
  std::thread worker([&] {
    answer = ShowMessageBox("Stop the conversion?", MessageKind::kConfirmation, kButtonsYesNo);
    done = true;
  });
  bool answered = test::WaitUntil([&] { return done.load(); });
  worker.join();
  ASSERT_TRUE(answered);
  EXPECT_EQ(answer, kButtonNo);
  EXPECT_TRUE(shown.on_gui_thread);
  EXPECT_EQ(shown.text, "Stop the conversion?");
}

// How long a waiting user interface thread gives a worker's box to be
// answered before the test counts it as a deadlock.
constexpr std::chrono::seconds kDeadlockLimit{5};

// After a failure: answers every message box that still comes up (with No)
// until the worker has its answer, so that the test ends instead of
// hanging.
void AnswerLeftoverBoxes(const std::future<MessageButton>& answer) {
  QTimer closer;
  closer.setInterval(10);
  QObject::connect(&closer, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
      box->done(QMessageBox::No);
  });
  closer.start();
  while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// An encoding thread reports an error while the user interface thread waits
// for it to finish: the box still comes up and its answer reaches the
// thread, so the wait ends.
TEST(QtMessageBoxTest, AGuiThreadWaitingForAWorkerStillAnswersItsBox) {
  QtMessageBox message_box(nullptr);
  ScopedMessageBox installed(&message_box);
  ShownBox shown;
  AnswerNextBox(QMessageBox::Ok, &shown);
  std::promise<MessageButton> answered;
  std::future<MessageButton> answer = answered.get_future();
  std::thread worker([&] {
    answered.set_value(ShowMessageBox("Could not write the output file.", MessageKind::kError));
  });
  bool in_time = false;
  RunProcessingEvents(
      [&] { in_time = answer.wait_for(kDeadlockLimit) == std::future_status::ready; });
  if (!in_time) AnswerLeftoverBoxes(answer);
  worker.join();
  EXPECT_TRUE(in_time) << "the user interface thread and the worker waited for each other";
  EXPECT_EQ(answer.get(), kButtonOk);
  EXPECT_TRUE(shown.on_gui_thread);
  EXPECT_EQ(shown.text, "Could not write the output file.");
}

// The box is up already when the user interface thread begins to wait for
// the worker that asked (a stop that came with a timer or a posted
// message). The box must not be holding that thread in an event loop of its
// own, under the wait: the user's answer would then only take effect once
// the wait was over, which it never is.
TEST(QtMessageBoxTest, ABoxAlreadyUpDoesNotHoldAWaitForItsWorker) {
  QtMessageBox message_box(nullptr);
  ScopedMessageBox installed(&message_box);
  std::promise<MessageButton> answered;
  std::future<MessageButton> answer = answered.get_future();
  std::thread worker([&] {
    answered.set_value(ShowMessageBox("Overwrite?", MessageKind::kConfirmation, kButtonsYesNo));
  });
  bool waited = false;
  bool in_time = false;
  WhenMessageBox([&](QMessageBox* box) {
    // The user answers while the user interface thread waits.
    QTimer::singleShot(50, box, [box] { box->button(QMessageBox::No)->click(); });
    RunProcessingEvents(
        [&] { in_time = answer.wait_for(kDeadlockLimit) == std::future_status::ready; });
    waited = true;
  });
  while (!waited && answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  if (!in_time) AnswerLeftoverBoxes(answer);
  worker.join();
  EXPECT_TRUE(waited);
  EXPECT_TRUE(in_time) << "the answer waited for the wait it was to end";
  EXPECT_EQ(answer.get(), kButtonNo);
}

struct FilterCase {
  const char* name;
  const char* filter;
  QStringList expected;
};
void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }

class QtNameFiltersTest : public testing::TestWithParam<FilterCase> {};

TEST_P(QtNameFiltersTest, TurnsDescriptionPatternPairsIntoToolkitFilters) {
  EXPECT_EQ(QtNameFilters(GetParam().filter), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    QtDialogsFilters, QtNameFiltersTest,
    testing::Values(
        FilterCase{"one_pair", "AVI|*.avi", {"AVI (*.avi)"}},
        FilterCase{"two_pairs", "WMV|*.wmv|All files|*", {"WMV (*.wmv)", "All files (*)"}},
        FilterCase{"pattern_list", "Video|*.wmv; *.mpg;*.avi", {"Video (*.wmv *.mpg *.avi)"}},
        FilterCase{"empty", "", {}},
        FilterCase{"description_without_pattern", "3gp|*.3gp|Broken", {"3gp (*.3gp)"}}),
    [](const testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ovc
