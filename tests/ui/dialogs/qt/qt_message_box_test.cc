#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <ostream>
#include <thread>

#include "common/paths.h"
#include "common/scripted_message_box.h"
#include "qt_test_support.h"
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
  bool answered = test::SpinUntil([&] { return done.load(); });
  worker.join();
  ASSERT_TRUE(answered);
  EXPECT_EQ(answer, kButtonNo);
  EXPECT_TRUE(shown.on_gui_thread);
  EXPECT_EQ(shown.text, "Stop the conversion?");
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
