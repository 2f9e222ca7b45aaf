#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <vector>

#include "common/scripted_message_box.h"
#include "support/qt/qt_test_harness.h"
#include "ui/dialogs/dialog_fakes.h"
#include "ui/dialogs/qt/qt_blank_screen.h"
#include "ui/dialogs/qt/qt_finished_recording_dialog.h"
#include "ui/dialogs/qt/qt_missing_codec_dialog.h"
#include "ui/dialogs/qt/qt_optimizing_notice.h"
#include "ui/dialogs/qt/qt_save_profile_dialog.h"

namespace ovc {
namespace {

using test::Child;
using test::Shown;
using test::WhenModal;

std::string LabelText(const QWidget& parent, const char* name) {
  return Child<QLabel>(parent, name)->text().toStdString();
}

class QtFinishedRecordingDialogTest : public testing::Test {
 protected:
  void Click(const char* name) { Child<QPushButton>(dialog_, name)->click(); }

  std::vector<std::string> log_;
  test::FakeShell shell_{&log_};
  test::FakePowerControl power_{0, &log_};
  OutputConfig output_;
  QtFinishedRecordingDialog dialog_{&output_, &shell_, &power_, nullptr};
};

TEST_F(QtFinishedRecordingDialogTest, PlayKeepsTheReportOpenAndOpenFolderClosesIt) {
  bool open_after_play = false;
  std::string next_step, path_shown;
  WhenModal(&dialog_, [&] {
    path_shown = LabelText(dialog_, "label_OutputPath");
    next_step = LabelText(dialog_, "label_NextStep");
    Click("Button3");
    open_after_play = dialog_.isVisible();
    Click("Button2");
  });
  dialog_.ShowFor("/home/me/videos/a.mp4", true);

  EXPECT_EQ(dialog_.windowTitle().toStdString(), "Information");
  EXPECT_EQ(LabelText(dialog_, "Label0"), "Conversion Completed");
  EXPECT_EQ(LabelText(dialog_, "Label1"), "Output file location:");
  EXPECT_EQ(path_shown, "/home/me/videos/a.mp4");
  EXPECT_EQ(next_step,
            "Next step: Connect PSP to your computer using a USB cable. And then click "
            "\"Transfer to PSP\" button.");
  EXPECT_TRUE(open_after_play);
  EXPECT_FALSE(dialog_.isVisible());
  EXPECT_EQ(log_, (std::vector<std::string>{"open /home/me/videos/a.mp4", "open /home/me/videos/"}));
  EXPECT_EQ(Shown(Child<QPushButton>(dialog_, "Button1")->text()), "OK");
  EXPECT_EQ(Shown(Child<QPushButton>(dialog_, "Button2")->text()), "Open output folder");
  EXPECT_EQ(Shown(Child<QPushButton>(dialog_, "Button3")->text()), "Play it");
}

TEST_F(QtFinishedRecordingDialogTest, OkClosesWithoutOpeningAndNoHintOutsidePsp) {
  std::string next_step = "unset";
  WhenModal(&dialog_, [&] {
    next_step = LabelText(dialog_, "label_NextStep");
    Click("Button1");
  });
  dialog_.ShowFor("/tmp/<b>clip</b>.avi", false);
  EXPECT_EQ(next_step, "");
  EXPECT_TRUE(log_.empty());
  // Shown as typed, never as markup.
  EXPECT_EQ(Child<QLabel>(dialog_, "label_OutputPath")->textFormat(), Qt::PlainText);
}

TEST_F(QtFinishedRecordingDialogTest, PowerOffComesBeforeTheReportAndARefusalIsShown) {
  test::FakePowerControl refusing(-1, &log_);
  QtFinishedRecordingDialog dialog(&output_, &shell_, &refusing, nullptr);
  ScriptedMessageBox box;
  ScopedMessageBox installed(&box);
  output_.shutdown_when_done = true;
  int requests_when_shown = -1;
  WhenModal(&dialog, [&] {
    requests_when_shown = refusing.requests;
    Child<QPushButton>(dialog, "Button1")->click();
  });
  dialog.ShowFor("/home/me/a.avi", false);
  EXPECT_EQ(requests_when_shown, 1);
  EXPECT_EQ(box.Texts(), std::vector<std::string>{"No privilege to shutdown"});
}

class QtSaveProfileDialogTest : public testing::Test {
 protected:
  QLineEdit* NameEdit() { return Child<QLineEdit>(dialog_, "ProfileNameEdit"); }
  QtSaveProfileDialog dialog_{nullptr};
};

TEST_F(QtSaveProfileDialogTest, OffersTheSelectedProfileThenTheLastTypedName) {
  std::string offered;
  WhenModal(&dialog_, [&] {
    offered = NameEdit()->text().toStdString();
    NameEdit()->selectAll();
    QTest::keyClicks(NameEdit(), "Mine");
    QTest::keyClick(NameEdit(), Qt::Key_Return);  // the default button: OK
  });
  std::string name = "PSP";
  EXPECT_TRUE(dialog_.Ask(&name));
  EXPECT_EQ(offered, "PSP");
  EXPECT_EQ(name, "Mine");
  EXPECT_EQ(dialog_.result(), kSaveProfileOk);

  WhenModal(&dialog_, [&] {
    offered = NameEdit()->text().toStdString();
    Child<QPushButton>(dialog_, "CancelBtn")->click();
  });
  name = "PSP";
  EXPECT_FALSE(dialog_.Ask(&name));
  EXPECT_EQ(offered, "Mine");
  EXPECT_EQ(name, "PSP");
  EXPECT_EQ(dialog_.result(), kSaveProfileCancel);
  EXPECT_EQ(dialog_.windowTitle().toStdString(), "Save the current settings to profile");
  EXPECT_EQ(Shown(dialog_.findChild<QLabel*>()->text()), "Enter profile name:");
}

struct CodecCase {
  const char* name;
  const char* button;
  const char* caption;
  std::optional<std::string> opened;
};
void PrintTo(const CodecCase& c, std::ostream* os) { *os << c.name; }

class QtMissingCodecDialogTest : public testing::TestWithParam<CodecCase> {};

TEST_P(QtMissingCodecDialogTest, EveryButtonClosesWithResultOneAndLinksOpenThePage) {
  const CodecCase& c = GetParam();
  test::FakeShell shell;
  QtMissingCodecDialog dialog(&shell, nullptr);
  MissingCodecPrompt& prompt = dialog;
  std::string caption;
  WhenModal(&dialog, [&] {
    auto* button = Child<QPushButton>(dialog, c.button);
    caption = Shown(button->text());
    button->click();
  });
  prompt.Show();

  EXPECT_EQ(dialog.windowTitle().toStdString(), "Video Codec for compression not found");
  EXPECT_EQ(caption, c.caption);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), 1);
  std::vector<std::string> expected;
  if (c.opened) expected.push_back(*c.opened);
  EXPECT_EQ(shell.opened, expected);
}

INSTANTIATE_TEST_SUITE_P(
    QtDialogsButtons, QtMissingCodecDialogTest,
    testing::Values(CodecCase{"codec_link", "CodecLink", "Xvid Codec 1.0 Final", kCodecDownloadUrl},
                    CodecCase{"more_codecs", "MoreCodecsLink", "click here", kCodecListUrl},
                    CodecCase{"close", "CloseBtn", "Close", std::nullopt}),
    [](const testing::TestParamInfo<CodecCase>& info) { return std::string(info.param.name); });

TEST(QtBlankScreenTest, BlackFramelessOnTopAndMaximisedUntilHidden) {
  QtBlankScreen blank;
  blank.Show();
  EXPECT_TRUE(blank.isVisible());
  EXPECT_TRUE(blank.windowState() & Qt::WindowMaximized);
  EXPECT_TRUE(blank.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(blank.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(blank.palette().color(QPalette::Window), QColor(Qt::black));
  EXPECT_EQ(blank.grab().toImage().pixelColor(5, 5), QColor(Qt::black));
  blank.Hide();
  EXPECT_FALSE(blank.isVisible());
}

TEST(QtOptimizingNoticeTest, CentresOnTheMainWindowWhereverItIs) {
  QWidget main_window;
  main_window.setGeometry(60, 40, 700, 500);
  main_window.show();
  QtOptimizingNotice notice(&main_window);
  notice.Show();
  EXPECT_TRUE(notice.isVisible());
  EXPECT_TRUE(notice.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(notice.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(notice.findChild<QLabel*>()->text().toStdString(), "Optimizing ...");
  QPoint offset = notice.frameGeometry().center() - main_window.frameGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 2);

  notice.Hide();
  main_window.move(200, 150);
  notice.Show();
  offset = notice.frameGeometry().center() - main_window.frameGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 2);
}

}  // namespace
}  // namespace ovc
