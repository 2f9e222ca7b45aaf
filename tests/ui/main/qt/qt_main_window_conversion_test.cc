// The main window with a real source: the preview, the paused picture and a
// whole conversion started from the window.

#include <QComboBox>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "main_window_fixture.h"
#include "support/clip_generator.h"
#include "support/clip_reader.h"
#include "ui/dialogs/qt/qt_finished_recording_dialog.h"
#include "ui/dialogs/qt/qt_message_box.h"
#include "ui/main/qt/qt_video_surface.h"
#include "ui/main/qt/range_bar.h"
#include "ui/main/qt/still_picture_widget.h"
#include "ui/main/window_messages.h"

namespace ovc::test {
namespace {

namespace fs = std::filesystem;

// The controls that would change a running conversion: its source, profile,
// values, output and position.
constexpr const char* kLockedWhileConverting[] = {
    "PositionRangeBar", "ProfileCombo",   "TimeValueList",    "VideoValueList", "AudioValueList",
    "SaveProfileBtn",   "MoreOptionsBtn", "OutputFolderEdit", "BrowseBtn"};

class SourceTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    ClipRecipe clip_recipe;
    clip_recipe.seconds = 2.0;  // 320 × 240 at 25 fps, stereo sound
    clip_ = world_.Path("clip.mp4");
    ASSERT_EQ(WriteClip(clip_, clip_recipe), "");
  }

  // Types `folder` into OutputFolderEdit as a user would.
  void TypeOutputFolder(const std::string& folder) {
    auto* edit = Find<QLineEdit>("OutputFolderEdit");
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, QString::fromStdString(folder));
  }

  int PresentedPictures() {
    return Find<VideoWidget>("VideoWindow")->surface()->presented();
  }

  std::string clip_;
};

TEST_F(SourceTest, OpeningPlaysTheFileAndPlacesTheVideoAtItsShape) {
  window_->OpenVideoFile(clip_);
  EXPECT_TRUE(Find<QAction>("menu_SetOutputPath")->isEnabled());
  EXPECT_TRUE(Find<QAction>("popup_SetOutputPath_menu")->isEnabled());
  EXPECT_EQ(Find<QLabel>("TopStatusLabel")->text().toStdString(),
            "Ready to record this title [0:00:02]");
  EXPECT_TRUE(Find<QLabel>("TopStatusLabel")->isVisible());
  EXPECT_EQ(Find<RangeBar>("PositionRangeBar")->maximum(), 2);
  EXPECT_EQ(Find<QLabel>("TimeLabel")->text().toStdString(), "0:00:00 of [0:00:02] ");

  // Pictures reach the panel from the streaming thread, and the picture's
  // shape (posted from there too) places the video: full width, 4:3,
  // centred in the panel.
  ASSERT_TRUE(WaitUntil([&] { return PresentedPictures() >= 5; }));
  auto* panel = Find<QFrame>("Panel1");
  const int width = panel->width() - 2;
  const int height = width * 3 / 4;
  auto* video = Find<VideoWidget>("VideoWindow");
  ASSERT_TRUE(WaitUntil([&] { return video->height() == height; }))
      << video->width() << "x" << video->height();
  EXPECT_EQ(video->width(), width);
  EXPECT_EQ(video->y(), (panel->height() - 2 - height) / 2);
  EXPECT_FALSE(video->surface()->Latest().isNull());
}

TEST_F(SourceTest, PausingShowsTheStillPictureOutlinedWhereItIsCropped) {
  window_->OpenVideoFile(clip_);
  ASSERT_TRUE(WaitUntil([&] { return PresentedPictures() >= 5; }));
  QTest::mouseClick(Find<QPushButton>("PauseButton"), Qt::LeftButton);

  auto* still = Find<StillPictureWidget>("PausedScreenPanel");
  ASSERT_TRUE(still->isVisible());
  ASSERT_TRUE(still->has_picture());
  EXPECT_EQ(still->picture().size(), QSize(320, 240));
  EXPECT_EQ(still->geometry(), Find<VideoWidget>("VideoWindow")->geometry());
  // The whole picture is converted: the outline runs along the edges.
  const QImage shown = still->grab().toImage();
  EXPECT_EQ(shown.pixelColor(0, shown.height() / 2), kCropOutlineColour);
  EXPECT_EQ(shown.pixelColor(shown.width() / 2, 0), kCropOutlineColour);
  EXPECT_NE(shown.pixelColor(shown.width() / 2, shown.height() / 2), kCropOutlineColour);

  // Play hides it again.
  QTest::mouseClick(Find<QPushButton>("PlayButton"), Qt::LeftButton);
  EXPECT_FALSE(still->isVisible());
}

TEST_F(SourceTest, TheThumbnailIsThePausedPictureBesideTheNextPspFile) {
  const std::string out = world_.Path("psp");
  fs::create_directories(out);
  TypeOutputFolder(out);
  auto* combo = Find<QComboBox>("ProfileCombo");
  emit combo->activated(combo->findText("PSP"));
  window_->OpenVideoFile(clip_);
  ASSERT_TRUE(WaitUntil([&] { return PresentedPictures() >= 5; }));
  QTest::mouseClick(Find<QPushButton>("PauseButton"), Qt::LeftButton);

  const std::string output = window_->presenter().output_path();
  ASSERT_EQ(output.substr(output.size() - 4), ".MP4") << output;
  QTest::mouseClick(Find<QPushButton>("SaveThumbnailBtn"), Qt::LeftButton);
  const std::string thumbnail = output.substr(0, output.size() - 4) + ".THM";
  QImage image;
  ASSERT_TRUE(image.load(QString::fromStdString(thumbnail), "JPG")) << thumbnail;
  EXPECT_EQ(image.size(), QSize(160, 120));
  // The clip's code band is at the top: black and white blocks, not one
  // flat colour.
  EXPECT_NE(qGray(image.pixel(10, 60)), qGray(image.pixel(10, 2)));
}

TEST_F(SourceTest, ConversionStartedFromTheWindowEndsWithTheReport) {
  const std::string out = world_.Path("out");
  fs::create_directories(out);
  TypeOutputFolder(out);
  window_->OpenVideoFile(clip_);
  ASSERT_EQ(window_->presenter().source_readiness(), SourceState::kReady);
  const std::string expected = out + "/clip.avi";
  ASSERT_EQ(window_->presenter().output_path(), expected);

  // Watches for the report and closes it with "OK", as the user would.
  std::string reported_path;
  std::string status_at_report;
  int bar_at_report = -1;
  bool reported = false;
  QTimer watcher;
  watcher.setInterval(20);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    auto* report = qobject_cast<QtFinishedRecordingDialog*>(QApplication::activeModalWidget());
    if (!report || reported) return;
    reported = true;
    // A long path is wrapped on screen; the tool tip holds it whole.
    auto* path = report->findChild<QLabel*>("label_OutputPath");
    reported_path = (path->toolTip().isEmpty() ? path->text() : path->toolTip()).toStdString();
    status_at_report = Find<QLabel>("ProgressStatus")->text().toStdString();
    bar_at_report = Find<QProgressBar>("ProgressBar")->value();
    report->findChild<QPushButton*>("Button1")->click();
  });
  watcher.start();

  auto* convert = Find<QPushButton>("StartRecordingButton");
  QTest::mouseClick(convert, Qt::LeftButton);
  ASSERT_TRUE(window_->presenter().converting());
  EXPECT_EQ(convert->text().toStdString(), "Pause/Stop");
  EXPECT_EQ(Find<QAction>("EncodeMenu")->text().toStdString(), "Pause/Stop");
  EXPECT_TRUE(convert->isEnabled());
  for (const char* name : {"PlayButton", "PauseButton", "StopButton", "OpenDVDButton"})
    EXPECT_FALSE(Find<QPushButton>(name)->isEnabled()) << name;
  EXPECT_FALSE(Find<QAction>("menu_OutputSetting")->isEnabled());
  EXPECT_EQ(Find<QLabel>("TopStatusLabel")->text().toStdString(), "Recording ... ");
  // Nothing that would change the running conversion takes input.
  for (const char* name : kLockedWhileConverting)
    EXPECT_FALSE(Find<QWidget>(name)->isEnabled()) << name;
  for (const char* name : {"menu_OpenVideoFile", "menu_SetOutputPath", "popup_SetOutputPath_menu"})
    EXPECT_FALSE(Find<QAction>(name)->isEnabled()) << name;

  // Closing the window asks first; "No" keeps both the window and the
  // conversion going.
  box_.Answer(kButtonNo);
  EXPECT_FALSE(window_->close());
  EXPECT_EQ(box_.Texts().back(), "Stop recording?\n");
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(window_->presenter().converting());

  ASSERT_TRUE(WaitUntil([&] { return reported; }, std::chrono::seconds(120)));
  EXPECT_EQ(reported_path, expected);
  ASSERT_TRUE(WaitUntil([&] { return !window_->presenter().converting(); }));
  EXPECT_EQ(convert->text().toStdString(), "Convert");
  for (const char* name : {"PlayButton", "PauseButton", "StopButton", "OpenDVDButton"})
    EXPECT_TRUE(Find<QPushButton>(name)->isEnabled()) << name;
  EXPECT_TRUE(Find<QAction>("menu_OutputSetting")->isEnabled());
  for (const char* name : kLockedWhileConverting)
    EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;
  for (const char* name : {"menu_OpenVideoFile", "menu_SetOutputPath", "popup_SetOutputPath_menu"})
    EXPECT_TRUE(Find<QAction>(name)->isEnabled()) << name;
  // While the report was up the status line showed the whole range done.
  EXPECT_EQ(bar_at_report, 100);
  EXPECT_EQ(status_at_report.rfind("100.0% Recorded 0:00:02", 0), 0u) << status_at_report;
  // Messages the conversion posted before it ended change nothing after it.
  RunPostedEvents();
  EXPECT_EQ(Find<QLabel>("ProgressStatus")->text().toStdString(), status_at_report);
  // Errors would have come as messages; only the close question did.
  EXPECT_EQ(box_.Texts().size(), 1u);

  // The file holds the two seconds: 29.97 fps XviD pictures and MP3 sound.
  DecodedClip decoded;
  ASSERT_EQ(ReadClip(expected, &decoded), "");
  EXPECT_NEAR(static_cast<double>(decoded.picture_times.size()), 2.0 * 29.97, 3.0);
  ASSERT_GT(decoded.channels, 0);
  EXPECT_EQ(decoded.sample_rate, 44100);
  EXPECT_NEAR(static_cast<double>(decoded.audio.size()) / decoded.channels / decoded.sample_rate,
              2.0, 0.2);
}

// Ends the test program when a wait it guards does not end in time: a
// deadlocked user interface thread would otherwise hang the run.
class DeadlockWatchdog {
 public:
  DeadlockWatchdog(std::chrono::seconds limit, std::string what)
      : thread_([this, limit, what = std::move(what)] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!changed_.wait_for(lock, limit, [this] { return disarmed_; })) {
            std::fprintf(stderr, "Deadlock: %s\n", what.c_str());
            std::abort();
          }
        }) {}
  ~DeadlockWatchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      disarmed_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool disarmed_ = false;
  std::thread thread_;
};

// A capture callback asks whether to overwrite the next part, and holds the
// capture lock until it has the answer; the conversion is stopped (by a
// posted message, as the stop point stops it) while the question is up. The
// stop waits for that callback, and the question stays answerable meanwhile:
// once the user answers, the conversion ends with its report.
TEST_F(SourceTest, AStopWaitingForAQuestionOfTheCaptureEndsOnceItIsAnswered) {
  QtMessageBox questions(window_.get());
  ScopedMessageBox installed(&questions);
  ClipRecipe clip_recipe;
  clip_recipe.seconds = 12.0;
  const std::string clip = world_.Path("long.mp4");
  ASSERT_EQ(WriteClip(clip, clip_recipe), "");
  const std::string out = world_.Path("out");
  fs::create_directories(out);
  TypeOutputFolder(out);
  window_->OpenVideoFile(clip);
  ASSERT_EQ(window_->presenter().source_readiness(), SourceState::kReady);
  // A small split size and a second part left from an earlier conversion.
  window_->presenter().output().split_size = 1;
  window_->presenter().profiles().current()->b = 3000;
  const std::string second_part = out + "/long - 02.avi";
  WriteFile(second_part, "an older part");

  enum class Step { kQuestion, kStopPosted, kStopWaiting, kAnswered, kReported };
  Step step = Step::kQuestion;
  std::string question;
  std::chrono::steady_clock::time_point paused_at;
  std::unique_ptr<DeadlockWatchdog> watchdog;
  QTimer watcher;
  watcher.setInterval(10);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    switch (step) {
      case Step::kQuestion:
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
          question = box->text().toStdString();
          watchdog = std::make_unique<DeadlockWatchdog>(
              std::chrono::seconds(15), "the stop and the capture's question wait for each other");
          window_->PostMessage(kWmStopRecording, 0, 0);
          step = Step::kStopPosted;
        }
        break;
      case Step::kStopPosted:
        // The stop has paused playback; shortly after it waits for the
        // capture callback.
        if (window_->presenter().playback().state() == kPaused) {
          paused_at = std::chrono::steady_clock::now();
          step = Step::kStopWaiting;
        }
        break;
      case Step::kStopWaiting:
        if (std::chrono::steady_clock::now() - paused_at >= std::chrono::milliseconds(400)) {
          auto* box = qobject_cast<QMessageBox*>(modal);
          ASSERT_NE(box, nullptr);
          box->button(QMessageBox::Yes)->click();
          step = Step::kAnswered;
        }
        break;
      case Step::kAnswered:
        if (auto* report = qobject_cast<QtFinishedRecordingDialog*>(modal)) {
          watchdog.reset();
          report->findChild<QPushButton*>("Button1")->click();
          step = Step::kReported;
        }
        break;
      case Step::kReported:
        break;
    }
  });
  watcher.start();

  QTest::mouseClick(Find<QPushButton>("StartRecordingButton"), Qt::LeftButton);
  ASSERT_TRUE(window_->presenter().converting());
  ASSERT_TRUE(WaitUntil([&] { return step == Step::kReported; }, std::chrono::seconds(120)))
      << "the conversion never asked about the second part";
  watcher.stop();
  EXPECT_NE(question.find("long - 02.avi"), std::string::npos) << question;
  EXPECT_NE(question.find("Overwrite?"), std::string::npos) << question;
  EXPECT_FALSE(window_->presenter().converting());
  EXPECT_EQ(Find<QPushButton>("StartRecordingButton")->text().toStdString(), "Convert");
  // Overwritten, as the user agreed.
  EXPECT_NE(ReadFile(second_part), "an older part");
}

}  // namespace
}  // namespace ovc::test
