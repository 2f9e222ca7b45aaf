#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "support/qt/qt_test_harness.h"
#include "settings/settings_store.h"
#include "support/temp_world.h"
#include "ui/dialogs/dialog_fakes.h"
#include "ui/dialogs/qt/qt_output_folder_dialog.h"
#include "ui/dialogs/qt/qt_output_settings_dialog.h"

namespace ovc {
namespace {

namespace fs = std::filesystem;
using test::Child;
using test::Shown;
using test::WhenModal;

int StoredInt(const char* name) { return ReadSettingInt(std::string("OutputConfig\\") + name, -1); }
double StoredReal(const char* name) {
  return ReadSettingReal(std::string("OutputConfig\\") + name, -1);
}
std::string StoredText(const char* name) {
  return ReadSettingText(std::string("OutputConfig\\") + name, "<none>");
}

template <typename Widget>
std::set<std::string> CaptionsOf(const QWidget& parent) {
  std::set<std::string> captions;
  for (Widget* widget : parent.findChildren<Widget*>()) captions.insert(Shown(widget->text()));
  return captions;
}

class QtOutputSettingsDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    main_window_.setGeometry(100, 80, 900, 700);
    main_window_.show();
  }

  QSlider* Brightness() { return Child<QSlider>(dialog_, "BrightnessTrackbar"); }
  QLabel* BrightnessComment() { return Child<QLabel>(dialog_, "BrightnessComment"); }
  QLineEdit* SplitEdit() { return Child<QLineEdit>(dialog_, "SplitSize_Edit"); }
  QLineEdit* FileEdit() { return Child<QLineEdit>(dialog_, "OutputFileName_Edit"); }
  void Click(const char* name) { Child<QPushButton>(dialog_, name)->click(); }

  test::TempWorld world_;
  QWidget main_window_;
  OutputConfig output_;
  std::string output_path_ = "/home/me/videos/clip.avi";
  test::FakeSaveFileDialog file_dialog_;
  QtOutputSettingsDialog dialog_{&output_, &output_path_, &main_window_, &file_dialog_};
};

TEST_F(QtOutputSettingsDialogTest, ShowsTheFormTexts) {
  EXPECT_EQ(dialog_.windowTitle().toStdString(), "Output Setting");
  EXPECT_EQ(Shown(dialog_.findChild<QGroupBox*>()->title()), "Settings");
  std::set<std::string> labels = CaptionsOf<QLabel>(dialog_);
  for (const char* text : {"Split output file for every ", "MB", "Output file name: ",
                           "Audio Volume:", "Video Brightness:", "PSP Video Number:",
                           "Aspect Ratio:"})
    EXPECT_TRUE(labels.count(text)) << text;
  EXPECT_EQ(CaptionsOf<QCheckBox>(dialog_),
            (std::set<std::string>{"Shutdown the computer when job is done",
                                   "Disable screensaver when recording (3D screensavers may "
                                   "slow down the computer)"}));
  EXPECT_EQ(CaptionsOf<QPushButton>(dialog_),
            (std::set<std::string>{"Browse folder  ...", "OK", "Cancel"}));
  auto* aspect = Child<QComboBox>(dialog_, "AspectComboBox");
  ASSERT_EQ(aspect->count(), 2);
  EXPECT_EQ(aspect->itemText(0).toStdString(), "Keep original aspect ratio");
  EXPECT_EQ(aspect->itemText(1).toStdString(), "Stretch 16:9 widescreen to 4:3 automatically");
  auto* volume = Child<QSlider>(dialog_, "AudioVolumeTrackBar");
  EXPECT_EQ(volume->minimum(), 1);
  EXPECT_EQ(volume->maximum(), 9);
  EXPECT_EQ(volume->toolTip().toStdString(), "default=5 (original volume)");
  EXPECT_EQ(Brightness()->maximum(), 3);
  EXPECT_EQ(Child<QSpinBox>(dialog_, "TeSpinEdit1")->maximum(), 99999);
}

TEST_F(QtOutputSettingsDialogTest, OpensWithoutBlockingFilledFromTheConfigurationAndCentred) {
  output_.file_number = 17;
  output_.audio_volume = 7;
  output_.brightness_a = 23;
  output_.shutdown_when_done = true;
  output_.split_size = 700;

  dialog_.ShowDialog(false);

  EXPECT_TRUE(dialog_.isVisible());
  EXPECT_FALSE(dialog_.isModal());
  EXPECT_EQ(Child<QSpinBox>(dialog_, "TeSpinEdit1")->value(), 17);
  EXPECT_EQ(Child<QSlider>(dialog_, "AudioVolumeTrackBar")->value(), 7);
  EXPECT_EQ(Brightness()->value(), 2);
  EXPECT_EQ(BrightnessComment()->text().toStdString(), "(+2 level)");
  EXPECT_EQ(FileEdit()->text().toStdString(), output_path_);
  EXPECT_EQ(SplitEdit()->text().toStdString(), "700");
  EXPECT_TRUE(Child<QCheckBox>(dialog_, "Shutdown_CheckBox")->isChecked());
  // Opening stores the brightness again.
  EXPECT_EQ(StoredInt("brightness_a"), 23);
  QPoint centre_offset = dialog_.frameGeometry().center() - main_window_.frameGeometry().center();
  EXPECT_LE(centre_offset.manhattanLength(), 2);
}

TEST_F(QtOutputSettingsDialogTest, BrightnessSliderStoresAtOnceAndCancelKeepsIt) {
  dialog_.ShowDialog(false);
  Brightness()->setValue(2);
  EXPECT_EQ(StoredInt("brightness_a"), 23);
  EXPECT_NEAR(StoredReal("brightness_b"), 1.24, 1e-6);
  EXPECT_EQ(output_.brightness_a, 23);
  EXPECT_EQ(BrightnessComment()->text().toStdString(), "(+2 level)");

  QTest::keyClick(Brightness(), Qt::Key_Home);
  EXPECT_EQ(StoredInt("brightness_a"), 0);
  EXPECT_EQ(BrightnessComment()->text().toStdString(), "(original)");
  Brightness()->setValue(2);

  Click("CancelBtn");
  EXPECT_FALSE(dialog_.isVisible());
  EXPECT_EQ(StoredInt("brightness_a"), 23);
  EXPECT_NEAR(StoredReal("brightness_b"), 1.24, 1e-6);
}

TEST_F(QtOutputSettingsDialogTest, ModalOkTakesOverTheControlsAndStoresThem) {
  int volume_while_open = 0;
  WhenModal(&dialog_, [&] {
    SplitEdit()->clear();
    QTest::keyClicks(SplitEdit(), "  700MB");
    Child<QSlider>(dialog_, "AudioVolumeTrackBar")->setValue(3);
    volume_while_open = output_.audio_volume;  // follows the slider at once
    Child<QCheckBox>(dialog_, "Shutdown_CheckBox")->click();
    Child<QComboBox>(dialog_, "AspectComboBox")->setCurrentIndex(1);
    FileEdit()->setText("/home/me/out/new.avi");
    Click("OKBtn");
  });
  dialog_.ShowDialog(true);

  EXPECT_FALSE(dialog_.isVisible());
  EXPECT_EQ(volume_while_open, 3);
  EXPECT_EQ(output_.split_size, 700);
  EXPECT_EQ(StoredInt("Volume"), 700);
  EXPECT_EQ(StoredInt("AudioVolume"), 3);
  EXPECT_EQ(StoredInt("vc_aspect"), 1);
  EXPECT_TRUE(output_.shutdown_when_done);
  EXPECT_EQ(output_path_, "/home/me/out/new.avi");
  EXPECT_EQ(StoredText("LastOutput"), "/home/me/out/new.avi");
}

TEST_F(QtOutputSettingsDialogTest, BrowseOffersTheFormatsFilterAndOnlyFillsTheEdit) {
  output_.format = 1;
  file_dialog_.answers = {std::string("/home/me/clip.wmv")};
  dialog_.ShowDialog(false);
  Click("SpeedButton1");

  ASSERT_EQ(file_dialog_.requests.size(), 1u);
  EXPECT_EQ(file_dialog_.requests[0].filter, "WMV|*.wmv");
  EXPECT_EQ(file_dialog_.requests[0].initial_path, "/home/me/videos/clip.avi");
  EXPECT_EQ(FileEdit()->text().toStdString(), "/home/me/clip.wmv");
  EXPECT_EQ(output_path_, "/home/me/videos/clip.avi");
  EXPECT_EQ(StoredText("LastOutput"), "<none>");
}

TEST_F(QtOutputSettingsDialogTest, EscapeCancelsAndReopeningAnOpenDialogKeepsTheEntries) {
  dialog_.ShowDialog(false);
  SplitEdit()->setText("123");
  dialog_.ShowDialog(false);  // already open: only brought to the front
  EXPECT_EQ(SplitEdit()->text().toStdString(), "123");

  QTest::keyClick(&dialog_, Qt::Key_Escape);
  EXPECT_FALSE(dialog_.isVisible());
  EXPECT_EQ(output_.split_size, OutputConfig().split_size);
  EXPECT_EQ(StoredInt("Volume"), -1);
}

class QtOutputFolderDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    world_.SetEnv("HOME", home_);
    world_.SetEnv("XDG_CONFIG_HOME", world_.Path("config"));
    fs::create_directories(home_);
  }

  QRadioButton* Choice(int number) {
    std::string name = "RadioButton" + std::to_string(number);
    return Child<QRadioButton>(dialog_, name.c_str());
  }
  // A click on the choice's indicator, as the user makes it.
  void Pick(int number) {
    QRadioButton* choice = Choice(number);
    QTest::mouseClick(choice, Qt::LeftButton, {}, QPoint(6, choice->height() / 2));
  }
  QPushButton* Browse() { return Child<QPushButton>(dialog_, "BrowseButton"); }
  void ClickOk() { Child<QPushButton>(dialog_, "TeButton2")->click(); }

  test::TempWorld world_;
  std::string home_ = world_.Path("user");
  std::string desktop_ = home_ + "/Desktop";
  OutputConfig output_;
  std::string output_path_ = "/srv/work/clip.wmv";
  test::FakeSaveFileDialog file_dialog_;
  QtOutputFolderDialog dialog_{&output_, &output_path_, nullptr, &file_dialog_};
};

TEST_F(QtOutputFolderDialogTest, PspChoiceCaptionsAndDesktopChoiceHandTheFolderBack) {
  std::string first_caption, home_caption;
  bool browse_visible = true, any_selected = true;
  WhenModal(&dialog_, [&] {
    first_caption = Shown(Choice(1)->text());
    home_caption = Shown(Choice(3)->text());
    browse_visible = Browse()->isVisible();
    any_selected = Choice(1)->isChecked() || Choice(2)->isChecked() || Choice(3)->isChecked() ||
                   Choice(4)->isChecked();
    Pick(2);
    ClickOk();
  });
  std::string folder = dialog_.Ask(true);

  EXPECT_EQ(dialog_.windowTitle().toStdString(), "Choose Default Output Folder ...");
  EXPECT_EQ(first_caption, "\"PSP Movie\" folder on your Desktop");
  EXPECT_EQ(home_caption, home_);
  EXPECT_EQ(Shown(Choice(2)->text()), "Desktop");
  EXPECT_EQ(Shown(Choice(4)->text()), "Other folders: ");
  EXPECT_FALSE(browse_visible);
  EXPECT_FALSE(any_selected);
  EXPECT_EQ(output_path_, desktop_ + "/clip.wmv");
  EXPECT_EQ(StoredText("LastOutput"), desktop_ + "/clip.wmv");
  EXPECT_EQ(folder, desktop_);
}

TEST_F(QtOutputFolderDialogTest, MovieFolderChoiceCreatesTheFolderAndKeepsItsStateNextTime) {
  WhenModal(&dialog_, [&] {
    Pick(1);
    ClickOk();
  });
  EXPECT_EQ(dialog_.Ask(false), desktop_ + "/Orvane Videos");
  EXPECT_TRUE(fs::is_directory(desktop_ + "/Orvane Videos"));
  EXPECT_EQ(output_path_, desktop_ + "/Orvane Videos/clip.wmv");

  bool still_selected = false;
  WhenModal(&dialog_, [&] {
    still_selected = Choice(1)->isChecked();
    ClickOk();
  });
  dialog_.Ask(false);
  EXPECT_TRUE(still_selected);
}

TEST_F(QtOutputFolderDialogTest, OtherFoldersShowsBrowseWhoseFolderIsStoredEvenWhenClosed) {
  output_.format = 2;
  file_dialog_.answers = {std::string("/media/stick")};
  WhenModal(&dialog_, [&] {
    Pick(4);
    EXPECT_TRUE(Browse()->isVisible());
    Browse()->click();
    dialog_.close();  // closed without "OK"
  });
  EXPECT_EQ(dialog_.Ask(false), "");
  // A folder is asked for; the file keeps its name there.
  ASSERT_EQ(file_dialog_.requests.size(), 1u);
  EXPECT_TRUE(file_dialog_.requests[0].pick_folder);
  EXPECT_EQ(output_path_, "/media/stick/clip.wmv");
  EXPECT_EQ(StoredText("LastOutput"), "/media/stick/clip.wmv");
}

TEST_F(QtOutputFolderDialogTest, EscapeWithoutAChoiceChangesNothing) {
  WhenModal(&dialog_, [&] { QTest::keyClick(&dialog_, Qt::Key_Escape); });
  EXPECT_EQ(dialog_.Ask(false), "");
  EXPECT_EQ(output_path_, "/srv/work/clip.wmv");
  EXPECT_EQ(StoredText("LastOutput"), "<none>");
}

}  // namespace
}  // namespace ovc
