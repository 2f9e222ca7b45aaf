// The main window as a user drives it: one range on the bar and in the Time
// rows, the paused picture following the position, the preview fitting its
// panel, the output name the user chose, and what the report says.

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "main_window_fixture.h"
#include "support/clip_generator.h"
#include "support/clip_reader.h"
#include "ui/dialogs/qt/qt_finished_recording_dialog.h"
#include "ui/dialogs/qt/qt_output_settings_dialog.h"
#include "ui/main/qt/qt_video_surface.h"
#include "ui/main/qt/range_bar.h"
#include "ui/main/qt/still_picture_widget.h"
#include "ui/main/qt/value_list_editor.h"

namespace ovc::test {
namespace {

namespace fs = std::filesystem;

// What the report showed; it is closed with "OK" as soon as it is up.
struct Report {
  bool shown = false;
  std::string headline, location, paths;
};

class UserTest : public MainWindowTest {
 protected:
  std::string Clip(const std::string& name, ClipRecipe recipe) {
    const std::string path = world_.Path(name);
    EXPECT_EQ(WriteClip(path, recipe), "");
    return path;
  }

  std::string OutputFolder() {
    const std::string out = world_.Path("out");
    fs::create_directories(out);
    auto* edit = Find<QLineEdit>("OutputFolderEdit");
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, QString::fromStdString(out));
    return out;
  }

  void WatchForTheReport() {
    watcher_.setInterval(20);
    QObject::connect(&watcher_, &QTimer::timeout, [this] {
      auto* report = qobject_cast<QtFinishedRecordingDialog*>(QApplication::activeModalWidget());
      if (!report || report_.shown) return;
      report_.shown = true;
      auto text = [report](const char* name) {
        return report->findChild<QLabel*>(name)->text().toStdString();
      };
      report_.headline = text("Label0");
      report_.location = text("Label1");
      // A path too wide for the window is wrapped; the tool tip holds the
      // paths whole.
      auto* paths = report->findChild<QLabel*>("label_OutputPath");
      report_.paths = (paths->toolTip().isEmpty() ? paths->text() : paths->toolTip()).toStdString();
      report->findChild<QPushButton*>("Button1")->click();
    });
    watcher_.start();
  }

  // The paths the report listed, one a line.
  std::vector<std::string> ReportedPaths() {
    std::vector<std::string> paths;
    std::string line;
    for (char c : report_.paths + "\n") {
      if (c != '\n') {
        line += c;
      } else if (!line.empty()) {
        paths.push_back(line);
        line.clear();
      }
    }
    return paths;
  }

  void ConvertToTheReport() {
    WatchForTheReport();
    QTest::mouseClick(Find<QPushButton>("StartRecordingButton"), Qt::LeftButton);
    ASSERT_TRUE(window_->presenter().converting());
    ASSERT_TRUE(WaitUntil([&] { return report_.shown; }, std::chrono::seconds(120)));
    ASSERT_TRUE(WaitUntil([&] { return !window_->presenter().converting(); }));
  }

  std::vector<std::string> TimeRows() {
    return Find<ValueListEditor>("TimeValueList")->ValueTexts();
  }

  void TypeTimeCell(int row, const char* text) {
    auto* time = Find<ValueListEditor>("TimeValueList");
    time->editItem(time->item(row, 1));
    auto* editor = time->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
  }

  QImage StillPicture() { return Find<StillPictureWidget>("PausedScreenPanel")->picture(); }

  int Presented() { return Find<VideoWidget>("VideoWindow")->surface()->presented(); }

  QTimer watcher_;
  Report report_;
};

TEST_F(UserTest, TheBarAndTheTimeRowsHoldOneRangeThatConvertRecords) {
  ClipRecipe recipe;
  recipe.seconds = 8.0;
  const std::string clip = Clip("clip.mp4", recipe);
  const std::string out = OutputFolder();
  window_->OpenVideoFile(clip);
  ASSERT_TRUE(WaitUntil([&] { return Presented() >= 3; }));
  QTest::mouseClick(Find<QPushButton>("PauseButton"), Qt::LeftButton);
  EXPECT_EQ(TimeRows(), (std::vector<std::string>{"Full", "0:00:00"}));

  // The handles: the start two seconds in, the stop three seconds early.
  auto* bar = Find<RangeBar>("PositionRangeBar");
  ASSERT_TRUE(bar->high_thumb_visible());
  bar->setFocus();
  for (int i = 0; i < 2; ++i) QTest::keyClick(bar, Qt::Key_Right);
  for (int i = 0; i < 3; ++i) QTest::keyClick(bar, Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(TimeRows(), (std::vector<std::string>{"0:00:03", "0:00:02"}));

  // The Time rows move the handles.
  TypeTimeCell(1, "1");
  ASSERT_TRUE(WaitUntil([&] { return bar->low() == 1; }));
  EXPECT_EQ(bar->high(), 4);
  EXPECT_EQ(TimeRows(), (std::vector<std::string>{"0:00:03", "0:00:01"}));
  // A duration past the end runs to the end.
  TypeTimeCell(0, "1:00");
  ASSERT_TRUE(WaitUntil([&] { return bar->high() == 8; }));
  EXPECT_EQ(TimeRows(), (std::vector<std::string>{"Full", "0:00:01"}));
  TypeTimeCell(0, "3");
  ASSERT_TRUE(WaitUntil([&] { return bar->high() == 4; }));

  // Other profiles take the range as it is.
  auto* combo = Find<QComboBox>("ProfileCombo");
  for (const char* profile : {"MPEG-2", "AVI"}) {
    emit combo->activated(combo->findText(profile));
    EXPECT_EQ(TimeRows(), (std::vector<std::string>{"0:00:03", "0:00:01"})) << profile;
    EXPECT_EQ(bar->low(), 1) << profile;
    EXPECT_EQ(bar->high(), 4) << profile;
  }

  ConvertToTheReport();
  EXPECT_EQ(report_.headline, "Conversion Completed");
  DecodedClip decoded;
  ASSERT_EQ(ReadClip(out + "/clip.avi", &decoded), "");
  EXPECT_NEAR(static_cast<double>(decoded.picture_times.size()), 3 * 29.97, 3.0);
  // The next conversion records the same range.
  EXPECT_EQ(TimeRows(), (std::vector<std::string>{"0:00:03", "0:00:01"}));
}

TEST_F(UserTest, ThePausedPictureFollowsThePosition) {
  ClipRecipe recipe;
  recipe.seconds = 6.0;
  window_->OpenVideoFile(Clip("clip.mp4", recipe));
  ASSERT_TRUE(WaitUntil([&] { return Presented() >= 3; }));
  QTest::mouseClick(Find<QPushButton>("PauseButton"), Qt::LeftButton);
  ASSERT_TRUE(Find<StillPictureWidget>("PausedScreenPanel")->isVisible());
  const QImage paused = StillPicture();

  // Moving the handle shows the picture there.
  auto* bar = Find<RangeBar>("PositionRangeBar");
  bar->setFocus();
  for (int i = 0; i < 4; ++i) QTest::keyClick(bar, Qt::Key_Right);
  ASSERT_TRUE(WaitUntil([&] { return StillPicture() != paused; }));
  const QImage moved = StillPicture();

  // Stop goes back to the beginning and shows its picture.
  QTest::mouseClick(Find<QPushButton>("StopButton"), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return StillPicture() != moved; }));
  EXPECT_EQ(bar->low(), 0);
  EXPECT_EQ(Find<QLabel>("TimeLabel")->text().toStdString(), "0:00:00 of [0:00:06] ");
  const QImage beginning = StillPicture();

  // F7 while playing: the picture of the beginning again, not a frozen one.
  QTest::mouseClick(Find<QPushButton>("PlayButton"), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return window_->presenter().bar().low() >= 1; }));
  QTest::keyClick(window_.get(), Qt::Key_F7);
  EXPECT_EQ(window_->presenter().playback().state(), kPaused);
  ASSERT_TRUE(WaitUntil([&] { return StillPicture() == beginning; }));
  EXPECT_TRUE(Find<StillPictureWidget>("PausedScreenPanel")->isVisible());
}

// The picture keeps its shape inside the panel, with bars where the shapes
// differ, from the smallest window to a large one.
TEST_F(UserTest, ThePreviewFitsItsPanelAtEverySize) {
  struct Shape {
    int width, height;
  };
  for (Shape shape : {Shape{640, 360}, Shape{320, 240}}) {
    ClipRecipe recipe;
    recipe.width = shape.width;
    recipe.height = shape.height;
    window_->OpenVideoFile(Clip("clip" + std::to_string(shape.width) + ".mp4", recipe));
    ASSERT_TRUE(WaitUntil([&] { return Presented() >= 3; }));
    auto* area = Find<QWidget>("VideoRect");
    auto* video = Find<VideoWidget>("VideoWindow");
    for (QSize size : {QSize(400, 300), QSize(1280, 760), QSize(1900, 1000), QSize(900, 1000)}) {
      window_->resize(size);
      const double aspect = static_cast<double>(shape.width) / shape.height;
      auto fits = [&] {
        const QRect inner = area->rect();
        const QRect shown = video->geometry();
        const bool inside = inner.contains(shown);
        const bool touches = shown.width() == inner.width() || shown.height() == inner.height();
        const bool shaped = std::abs(shown.width() - shown.height() * aspect) <= 2;
        const bool centred = std::abs(shown.left() - (inner.width() - shown.right() - 1)) <= 1 &&
                             std::abs(shown.top() - (inner.height() - shown.bottom() - 1)) <= 1;
        return inside && touches && shaped && centred;
      };
      EXPECT_TRUE(WaitUntil(fits, std::chrono::seconds(5)))
          << shape.width << "x" << shape.height << " in " << area->width() << "x"
          << area->height() << ": " << video->geometry().width() << "x"
          << video->geometry().height() << "+" << video->x() << "+" << video->y();
    }
  }
}

// A name typed in the output settings names the output in the folder
// shown, with the container's extension; a source without sound converts
// after one line of information and gets a silent track.
TEST_F(UserTest, ANameTypedForTheOutputIsWhereASoundlessSourceGoes) {
  ClipRecipe recipe;
  recipe.has_audio = false;
  const std::string clip = Clip("soundless.mp4", recipe);
  const std::string out = OutputFolder();
  window_->OpenVideoFile(clip);
  // The file's name in the title bar, its facts under the picture.
  EXPECT_EQ(window_->windowTitle().toStdString(), "soundless.mp4 - " + std::string(kProductName));
  EXPECT_EQ(Find<QLabel>("SourceFactsLabel")->text().toStdString(),
            "320 \u00d7 240 (4:3)  25 fps  0:00:02  no sound");
  EXPECT_TRUE(Find<QLabel>("SourceFactsLabel")->isVisible());

  QtOutputSettingsDialog* settings = window_->output_settings_dialog();
  settings->ShowDialog(false);
  auto* name = settings->findChild<QLineEdit*>("OutputFileName_Edit");
  ASSERT_NE(name, nullptr);
  name->setText("2048");
  settings->findChild<QPushButton*>("OKBtn")->click();
  const std::string expected = out + "/2048.avi";
  EXPECT_EQ(window_->presenter().output_path(), expected);
  EXPECT_EQ(Find<QLabel>("OutputFileLabel")->text().toStdString(), "File name: 2048.avi");
  EXPECT_EQ(Find<QLineEdit>("OutputFolderEdit")->text().toStdString(), out + "/");

  ConvertToTheReport();
  EXPECT_EQ(ReportedPaths(), std::vector<std::string>{expected});
  DecodedClip decoded;
  ASSERT_EQ(ReadClip(expected, &decoded), "");
  EXPECT_GT(decoded.channels, 0);
  const std::vector<MessageRequest> shown = box_.Shown();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown[0].text, clip + " has no sound; the output gets a silent sound track");
  for (const MessageRequest& request : shown) {
    EXPECT_EQ(request.kind, MessageKind::kInformation) << request.text;
  }
  EXPECT_FALSE(fs::exists(world_.Path("2048")));
}

// Stopped halfway, the report says so, with how much was converted and
// every part the split wrote; the status line was cleared at the start.
TEST_F(UserTest, AStoppedSplitConversionReportsWhatItConvertedAndEveryPart) {
  ClipRecipe recipe;
  recipe.seconds = 20.0;
  const std::string clip = Clip("long.mp4", recipe);
  const std::string out = OutputFolder();
  window_->OpenVideoFile(clip);
  window_->presenter().output().split_size = 1;
  window_->presenter().profiles().current()->b = 3000;
  Find<QProgressBar>("ProgressBar")->setValue(100);

  WatchForTheReport();
  QTest::mouseClick(Find<QPushButton>("StartRecordingButton"), Qt::LeftButton);
  ASSERT_TRUE(window_->presenter().converting());
  EXPECT_EQ(Find<QProgressBar>("ProgressBar")->value(), 0);
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(out + "/long - 03.avi"); },
                        std::chrono::seconds(60)));
  box_.Answer(kButtonYes);
  QTest::mouseClick(Find<QPushButton>("StartRecordingButton"), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return report_.shown; }));

  std::vector<std::string> parts;
  for (const auto& entry : fs::directory_iterator(out)) parts.push_back(entry.path().string());
  std::sort(parts.begin(), parts.end());
  ASSERT_GE(parts.size(), 3u);
  EXPECT_EQ(parts.front(), out + "/long - 02.avi");
  parts.insert(parts.begin(), out + "/long.avi");
  parts.pop_back();  // long.avi sorted last
  EXPECT_EQ(ReportedPaths(), parts);
  EXPECT_EQ(report_.location, "Output files (" + std::to_string(parts.size()) + " parts):");
  EXPECT_EQ(report_.headline.rfind("Conversion stopped: 0:00:", 0), 0u) << report_.headline;
  EXPECT_NE(report_.headline.find(" of 0:00:20 converted ("), std::string::npos)
      << report_.headline;
}

// The Open dialog offers every common video first, the program's old list
// next, then everything.
TEST_F(MainWindowTest, TheOpenDialogListsVideoFilesFirst) {
  QStringList filters;
  QTimer watcher;
  watcher.setInterval(20);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    filters = dialog->nameFilters();
    dialog->reject();
  });
  watcher.start();
  Find<QAction>("menu_OpenVideoFile")->trigger();
  ASSERT_EQ(filters.size(), 3);
  const std::string videos = filters[0].toStdString();
  EXPECT_EQ(videos.rfind("Video files (*.mp4 *.MP4 *.m4v ", 0), 0u) << videos;
  for (const char* pattern : {"*.mkv", "*.mov", "*.webm", "*.ts", "*.m2ts", "*.3gp", "*.ogv",
                              "*.dv", "*.rmvb", "*.MKV"})
    EXPECT_NE(videos.find(std::string(pattern) + " "), std::string::npos) << pattern;
  EXPECT_NE(filters[1].toStdString().find("*.wmv"), std::string::npos);
  EXPECT_EQ(filters[2].toStdString(), "All files (*)");
}

// Tab goes through the controls as they are read: the left side, then the
// right side, Convert last.
TEST_F(MainWindowTest, TabFollowsTheReadingOrder) {
  const std::vector<std::string> reading_order = {
      "PositionRangeBar", "PlayButton",       "PauseButton",      "StopButton",
      "OpenDVDButton",    "ProfileCombo",     "TimeValueList",    "VideoValueList",
      "AudioValueList",   "SaveProfileBtn",   "MoreOptionsBtn",   "SaveThumbnailBtn",
      "OutputFolderEdit", "BrowseBtn",        "ShowOutputFolderSpeedBtn", "StartRecordingButton"};
  std::vector<std::string> expected;
  for (const std::string& name : reading_order) {
    auto* widget = window_->findChild<QWidget*>(QString::fromStdString(name));
    ASSERT_NE(widget, nullptr) << name;
    if (widget->isVisible() && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus))
      expected.push_back(name);
  }
  window_->activateWindow();
  auto* first = window_->findChild<QWidget*>(QString::fromStdString(expected[0]));
  first->setFocus(Qt::TabFocusReason);
  std::vector<std::string> visited = {expected[0]};
  for (size_t i = 1; i < expected.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* focus = QApplication::focusWidget();
    visited.push_back(focus ? focus->objectName().toStdString() : "(none)");
  }
  EXPECT_EQ(visited, expected);
}

}  // namespace
}  // namespace ovc::test
