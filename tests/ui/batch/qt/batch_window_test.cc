// The batch window with the real converter as its child process, under the
// offscreen platform. Every test runs in a temporary world that the child
// inherits (program folder, settings store, temp and home folders).

#include "ui/batch/qt/batch_window.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "common/paths.h"
#include "common/scripted_message_box.h"
#include "platform/shell/shell.h"
#include "settings/settings_store.h"
#include "support/clip_generator.h"
#include "support/command_output.h"
#include "support/qt/qt_test_harness.h"
#include "support/temp_world.h"
#include "ui/main/qt/eliding_label.h"

namespace ovc::test {
namespace {

class RecordingShell : public Shell {
 public:
  bool Open(const std::string& path) override {
    opened.push_back(path);
    return true;
  }
  std::vector<std::string> opened;
};

// A conversion in the child process, start to end.
constexpr std::chrono::seconds kConversionLimit{120};

QStringList Texts(const QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts.append(list->item(i)->text());
  return texts;
}

class BatchWindowTest : public testing::Test {
 protected:
  // A clip long enough to be stopped half-way, made once for the tests that
  // need it.
  static const std::string& LongClip() {
    if (!long_clip_) {
      std::string base = std::filesystem::temp_directory_path().string();
      if (const char* scratch = std::getenv("OVC_TEST_SCRATCH"); scratch && *scratch) base = scratch;
      std::filesystem::create_directories(base);
      std::string folder = base + "/batch-clip-XXXXXX";
      if (!mkdtemp(folder.data())) ADD_FAILURE() << "no temporary folder in " << base;
      suite_folder_ = new std::string(folder);
      long_clip_ = new std::string(*suite_folder_ + "/long clip.mkv");
      ClipRecipe clip_recipe;
      clip_recipe.container = ClipContainer::kMkv;
      clip_recipe.seconds = 240;
      EXPECT_EQ(WriteClip(*long_clip_, clip_recipe), "");
    }
    return *long_clip_;
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    if (suite_folder_) std::filesystem::remove_all(*suite_folder_, ignored);
    delete long_clip_;
    delete suite_folder_;
    long_clip_ = suite_folder_ = nullptr;
  }

  void SetUp() override {
    world_.SetEnv("HOME", world_.home());
    out_ = world_.Path("out folder");
    mkdir(world_.home().c_str(), 0755);
    mkdir(out_.c_str(), 0755);
    window_ = MakeWindow(MULTICONV_PATH);
  }

  void TearDown() override {
    box_.SetFallback(kButtonYes);
    window_.reset();
  }

  std::unique_ptr<BatchWindow> MakeWindow(const QString& program) {
    BatchWindowOptions options;
    options.program = program;
    options.working_folder = QString::fromStdString(world_.root());
    options.shell = &shell_;
    auto window = std::make_unique<BatchWindow>(options);
    window->show();
    return window;
  }

  std::string Clip(const std::string& name, double seconds) {
    ClipRecipe clip_recipe;
    clip_recipe.container = ClipContainer::kMp4;
    clip_recipe.seconds = seconds;
    const std::string path = world_.Path(name);
    EXPECT_EQ(WriteClip(path, clip_recipe), "");
    return path;
  }

  template <typename T>
  T* Find(const char* name) {
    T* found = window_->findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  // Converts into out_ with the PSP profile.
  void ChoosePspIntoOutFolder() {
    auto* profiles = Find<QComboBox>("ProfileCombo");
    const int psp = profiles->findText(QStringLiteral("PSP"));
    ASSERT_GE(psp, 0);
    profiles->setCurrentIndex(psp);
    Find<QLineEdit>("OutputFolderEdit")->setText(QString::fromStdString(out_));
  }

  // Clicks Convert and waits until the child's progress has moved on from
  // its first report: progress comes as it happens, not only at the end.
  void ConvertUntilProgress() {
    QTest::mouseClick(Find<QPushButton>("ConvertButton"), Qt::LeftButton);
    ASSERT_TRUE(window_->converting());
    auto* bar = Find<QProgressBar>("ProgressBar");
    ASSERT_TRUE(WaitUntil([&] { return !window_->converting() || bar->value() >= 2; }, kConversionLimit));
    ASSERT_TRUE(window_->converting()) << "the conversion ended before it could be stopped";
  }

  static std::string* suite_folder_;
  static std::string* long_clip_;
  TempWorld world_;
  ScriptedMessageBox box_;
  ScopedMessageBox installed_{&box_};
  RecordingShell shell_;
  std::string out_;
  std::unique_ptr<BatchWindow> window_;
};

std::string* BatchWindowTest::suite_folder_ = nullptr;
std::string* BatchWindowTest::long_clip_ = nullptr;

TEST_F(BatchWindowTest, ConvertsAClipThroughTheConverterAndListsItsOutput) {
  const std::string clip = Clip("two seconds.mp4", 2.0);
  window_->AddFiles({QString::fromStdString(clip)});
  ChoosePspIntoOutFolder();
  auto* convert = Find<QPushButton>("ConvertButton");
  QTest::mouseClick(convert, Qt::LeftButton);
  ASSERT_TRUE(window_->converting());
  EXPECT_EQ(Shown(convert->text()), "Stop");
  EXPECT_FALSE(Find<QComboBox>("ProfileCombo")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("AddFilesButton")->isEnabled());

  ASSERT_TRUE(WaitUntil([&] { return !window_->converting(); }, kConversionLimit));
  auto* results = Find<QListWidget>("ResultsList");
  ASSERT_EQ(results->count(), 1) << Texts(results).join('\n').toStdString();
  const std::string line = results->item(0)->text().toStdString();
  const std::string prefix = "Converted: " + out_ + "/";
  ASSERT_EQ(line.substr(0, prefix.size()), prefix);
  const std::string output = line.substr(std::string("Converted: ").size());
  EXPECT_EQ(ProbeEntry(output, "v:0", "stream=codec_name"), "mpeg4");

  // The child's own last figures, read from its terminal.
  EXPECT_EQ(Find<QProgressBar>("ProgressBar")->value(), 100);
  EXPECT_EQ(Find<ElidingLabel>("StatusLabel")->text().left(15).toStdString(), "100.0% Recorded");
  EXPECT_EQ(Find<ElidingLabel>("CurrentFileLabel")->text().toStdString(), "Finished: 1 converted");
  EXPECT_EQ(Shown(convert->text()), "Convert");
  EXPECT_TRUE(convert->isEnabled());
  EXPECT_TRUE(Find<QComboBox>("ProfileCombo")->isEnabled());

  results->setCurrentRow(0);
  QTest::mouseClick(Find<QPushButton>("OpenOutputFolderButton"), Qt::LeftButton);
  EXPECT_EQ(shell_.opened, std::vector<std::string>{out_});
}

TEST_F(BatchWindowTest, StopKeepsThePartialFileAndSkipsTheRest) {
  window_->AddFiles({QString::fromStdString(LongClip()),
                     QString::fromStdString(Clip("next.mp4", 2.0))});
  ChoosePspIntoOutFolder();
  ASSERT_NO_FATAL_FAILURE(ConvertUntilProgress());
  auto* convert = Find<QPushButton>("ConvertButton");
  QTest::mouseClick(convert, Qt::LeftButton);
  EXPECT_FALSE(convert->isEnabled()) << "a second Stop while stopping";

  ASSERT_TRUE(WaitUntil([&] { return !window_->converting(); }, kConversionLimit));
  auto* results = Find<QListWidget>("ResultsList");
  ASSERT_EQ(results->count(), 1) << Texts(results).join('\n').toStdString();
  const QString line = results->item(0)->text();
  ASSERT_TRUE(line.startsWith(QString::fromStdString("Stopped: " + out_ + "/"))) << line.toStdString();
  ASSERT_TRUE(line.endsWith(" (converted up to where it stopped)")) << line.toStdString();
  const std::string output =
      line.mid(9, line.size() - 9 - 35).toStdString();  // between "Stopped: " and the note
  const double seconds = std::atof(
      CommandOutput("ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 '" +
                    output + "'")
          .c_str());
  EXPECT_GT(seconds, 0.5) << output;
  EXPECT_LT(seconds, 239.0) << output;
  EXPECT_EQ(Find<ElidingLabel>("CurrentFileLabel")->text().toStdString(),
            "Finished: 1 stopped, 1 not started");
  EXPECT_EQ(Shown(convert->text()), "Convert");
  EXPECT_TRUE(convert->isEnabled());
  EXPECT_TRUE(Find<QListWidget>("FileList")->isEnabled());
}

TEST_F(BatchWindowTest, ClosingWhileConvertingAsksThenStopsAndCloses) {
  window_->AddFiles({QString::fromStdString(LongClip())});
  ChoosePspIntoOutFolder();
  ASSERT_NO_FATAL_FAILURE(ConvertUntilProgress());

  box_.Answer(kButtonNo);
  EXPECT_FALSE(window_->close());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(window_->converting());

  box_.Answer(kButtonYes);
  window_->close();
  ASSERT_TRUE(WaitUntil([&] { return !window_->isVisible(); }));
  EXPECT_FALSE(window_->converting());
  const std::vector<std::string> asked = box_.Texts();
  EXPECT_EQ(asked, std::vector<std::string>(2, "Stop the conversion and close the window?"));
  auto* results = Find<QListWidget>("ResultsList");
  ASSERT_EQ(results->count(), 1);
  EXPECT_TRUE(results->item(0)->text().startsWith("Stopped: ")) << Texts(results).join('\n').toStdString();
}

TEST_F(BatchWindowTest, AConverterThatCannotStartFailsEachFileAndEnds) {
  window_ = MakeWindow(QString::fromStdString(world_.Path("no such program")));
  window_->AddFiles({QStringLiteral("/videos/a.mp4"), QStringLiteral("/videos/b.mp4")});
  window_->StartConversion();
  ASSERT_TRUE(WaitUntil([&] { return !window_->converting(); }, std::chrono::seconds(20)));
  EXPECT_EQ(Texts(Find<QListWidget>("ResultsList")),
            QStringList({"Failed: a.mp4: the converter ended unexpectedly",
                         "Failed: b.mp4: the converter ended unexpectedly"}));
  EXPECT_EQ(Find<ElidingLabel>("CurrentFileLabel")->text().toStdString(), "Finished: 2 failed");
}

TEST_F(BatchWindowTest, AMissingOutputFolderIsReportedAndNothingStarts) {
  window_->AddFiles({QStringLiteral("/videos/a.mp4")});
  Find<QLineEdit>("OutputFolderEdit")->setText(QStringLiteral("not there"));
  QTest::mouseClick(Find<QPushButton>("ConvertButton"), Qt::LeftButton);
  EXPECT_FALSE(window_->converting());
  EXPECT_EQ(box_.Texts(), std::vector<std::string>{"The output folder " + world_.root() +
                                                   "/not there does not exist."});
}

TEST_F(BatchWindowTest, TheFileListTakesEachFileOnceAndNoFolders) {
  auto* files = Find<QListWidget>("FileList");
  auto* convert = Find<QPushButton>("ConvertButton");
  auto* remove = Find<QPushButton>("RemoveButton");
  EXPECT_FALSE(convert->isEnabled());
  WriteFile(world_.Path("dropped one.mkv"), "x");

  window_->AddFiles({QStringLiteral("/videos/a.mp4"), QString::fromStdString(world_.home()),
                     QStringLiteral("/videos/../videos/a.mp4"), QString()});
  // A file manager's drop: local files only.
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(world_.Path("dropped one.mkv"))),
                QUrl(QStringLiteral("https://example.com/b.mp4"))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &drop);

  EXPECT_EQ(window_->Files(),
            QStringList({"/videos/a.mp4", QString::fromStdString(world_.Path("dropped one.mkv"))}));
  EXPECT_TRUE(convert->isEnabled());
  EXPECT_FALSE(remove->isEnabled());

  files->setCurrentRow(0);
  EXPECT_TRUE(remove->isEnabled());
  QTest::mouseClick(remove, Qt::LeftButton);
  EXPECT_EQ(window_->Files(), QStringList({QString::fromStdString(world_.Path("dropped one.mkv"))}));
  files->setCurrentRow(0);
  files->setFocus();
  QTest::keyClick(files, Qt::Key_Delete);
  EXPECT_TRUE(window_->Files().isEmpty());
  EXPECT_FALSE(convert->isEnabled());
}

TEST_F(BatchWindowTest, StartsWithTheStoredChoicesAndBuildsTheJobFromTheControls) {
  ASSERT_EQ(WriteSettingText("OutputConfig", "last_profile", "iPod"), 0);
  ASSERT_EQ(WriteSettingText("OutputConfig", "LastOutput", out_ + "/film.mp4"), 0);
  ASSERT_EQ(WriteSettingInt("OutputConfig", "Volume", 700), 0);
  window_ = MakeWindow(MULTICONV_PATH);
  EXPECT_EQ(window_->windowTitle().toStdString(), "Batch Convert Video Files");
  EXPECT_EQ(Find<QComboBox>("ProfileCombo")->currentText().toStdString(), "iPod");
  EXPECT_EQ(Find<QLineEdit>("OutputFolderEdit")->text().toStdString(), out_ + "/");
  auto* split = Find<QSpinBox>("SplitSpin");
  EXPECT_EQ(split->text().toStdString(), "Default (700 MB)");

  window_->AddFiles({QStringLiteral("/videos/a.mp4")});
  Find<QComboBox>("PassesCombo")->setCurrentIndex(1);
  split->setValue(50);
  Find<QCheckBox>("OverwriteCheck")->setChecked(true);
  const BatchJob job = window_->CurrentJob();
  EXPECT_EQ(job.inputs, std::vector<std::string>{"/videos/a.mp4"});
  EXPECT_EQ(job.profile, "iPod");
  EXPECT_EQ(job.output_folder, out_ + "/");
  EXPECT_EQ(job.passes, 2);
  EXPECT_EQ(job.split_mb, 50);
  EXPECT_TRUE(job.overwrite);
}

// Every control is reached from the keyboard: each button and check box has
// a mnemonic of its own, and each other control a label with one.
TEST_F(BatchWindowTest, EveryControlHasAKeyOfItsOwn) {
  std::map<QChar, std::string> keys;
  auto take = [&](const QString& caption) {
    const qsizetype at = caption.indexOf(QLatin1Char('&'));
    if (at < 0 || at + 1 >= caption.size()) {
      ADD_FAILURE() << "no key: " << caption.toStdString();
      return;
    }
    const QChar key = caption.at(at + 1).toLower();
    EXPECT_TRUE(keys.emplace(key, caption.toStdString()).second)
        << caption.toStdString() << " and " << keys[key] << " share a key";
  };
  for (auto* button : window_->findChildren<QAbstractButton*>()) take(button->text());
  std::vector<QWidget*> labelled;
  for (auto* label : window_->findChildren<QLabel*>()) {
    if (!label->buddy()) continue;
    take(label->text());
    labelled.push_back(label->buddy());
  }
  for (const char* name :
       {"FileList", "ProfileCombo", "OutputFolderEdit", "PassesCombo", "SplitSpin", "ResultsList"})
    EXPECT_NE(std::find(labelled.begin(), labelled.end(), Find<QWidget>(name)), labelled.end())
        << name << " has no label with a key";
}

}  // namespace
}  // namespace ovc::test
