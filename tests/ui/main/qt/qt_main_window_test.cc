#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "main_window_fixture.h"
#include "ui/main/profile_panel_cells.h"
#include "ui/main/qt/range_bar.h"
#include "ui/main/qt/value_list_editor.h"

namespace ovc::test {
namespace {

std::vector<std::string> Keys(const ValueListEditor* list) {
  std::vector<std::string> keys;
  for (int r = 0; r < list->rowCount(); ++r) keys.push_back(list->item(r, 0)->text().toStdString());
  return keys;
}

int IndexOf(const QComboBox* combo, const char* text) { return combo->findText(text); }

TEST_F(MainWindowTest, StartsWithTheProductCaptionAndTheControlsCaptions) {
  EXPECT_EQ(window_->windowTitle().toStdString(), "Orvane Video Converter Zezivovi");

  struct Caption {
    const char* name;
    const char* text;
  };
  const Caption buttons[] = {
      {"OpenDVDButton", "Choose Video"},       {"StartRecordingButton", "Convert"},
      {"SaveProfileBtn", "Save as ..."},       {"MoreOptionsBtn", "More options ..."},
      {"BrowseBtn", "Browse ..."},             {"ShowOutputFolderSpeedBtn", "Output folder"},
  };
  for (const Caption& c : buttons) {
    SCOPED_TRACE(c.name);
    QPushButton* button = Find<QPushButton>(c.name);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text().toStdString(), c.text);
    EXPECT_TRUE(button->isVisible());
  }
  const Caption actions[] = {
      {"menu_OpenVideoFile", "Open Video File ..."}, {"menu_SetOutputPath", "Save as ..."},
      {"EncodeMenu", "Record it"},                   {"ExitMenu", "Exit"},
      {"menu_OutputSetting", "Output Settings ..."}, {"CustomItem1", "Manual"},
      {"CustomItem2", "Website"},                    {"popup_OpenFile", "Open File ..."},
      {"popup_BatchConvert", "Batch Convert Video Files"},
      {"popup_SetOutputPath_menu", "Save as ..."},
  };
  for (const Caption& c : actions) {
    SCOPED_TRACE(c.name);
    QAction* action = Find<QAction>(c.name);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text().toStdString(), c.text);
    // Every command has a way in from the keyboard or the drop-down.
  }
  EXPECT_EQ(Find<QPushButton>("StopButton")->toolTip().toStdString(),
            "Stop & Reset to the very beginning");
  EXPECT_EQ(Find<QPushButton>("SaveThumbnailBtn")->toolTip().toStdString(),
            "Save the current frame as video thumbnail");
  EXPECT_EQ(Find<QLabel>("TimeLabel")->text().toStdString(), "0:00:00 of [0:00:00] ");

  // Nothing is open: the output file can't be chosen yet; without a transfer
  // window its command is not offered.
  EXPECT_FALSE(Find<QAction>("menu_SetOutputPath")->isEnabled());
  EXPECT_FALSE(Find<QAction>("popup_SetOutputPath_menu")->isEnabled());
  EXPECT_FALSE(Find<QAction>("menu_Transfer")->isVisible());
  EXPECT_FALSE(Find<QLabel>("StartPoint_label")->isVisible());
  EXPECT_FALSE(Find<QLabel>("EndPoint_label")->isVisible());
  EXPECT_FALSE(Find<QWidget>("PausedScreenPanel")->isVisible());
  auto* bar = Find<RangeBar>("PositionRangeBar");
  EXPECT_EQ(bar->maximum(), 1);
  EXPECT_EQ(bar->low(), 0);
  EXPECT_FALSE(bar->high_thumb_visible());
  EXPECT_EQ(Find<QProgressBar>("ProgressBar")->value(), 0);
}

TEST_F(MainWindowTest, ValueListsShowTheRememberedProfile) {
  auto* combo = Find<QComboBox>("ProfileCombo");
  const std::vector<std::string> names = window_->presenter().profiles().profile_names();
  ASSERT_EQ(combo->count(), static_cast<int>(names.size()));
  ASSERT_GT(combo->count(), 1);
  for (int i = 0; i < combo->count(); ++i) EXPECT_EQ(combo->itemText(i).toStdString(), names[i]);
  // An empty settings store remembers "AVI".
  EXPECT_EQ(combo->currentText().toStdString(), "AVI");

  auto* time = Find<ValueListEditor>("TimeValueList");
  auto* video = Find<ValueListEditor>("VideoValueList");
  auto* audio = Find<ValueListEditor>("AudioValueList");
  EXPECT_EQ(Keys(time), (std::vector<std::string>{"Duration=", "Start="}));
  EXPECT_EQ(Keys(video), (std::vector<std::string>{"Codec=", "Size=", "Bitrate=", "FPS="}));
  EXPECT_EQ(Keys(audio),
            (std::vector<std::string>{"Codec=", "Bitrate=", "Sampling=", "Channels="}));
  EXPECT_EQ(time->ValueTexts(), (std::vector<std::string>{"Full", "0:00:00"}));
  // The shipped AVI profile: XviD 640x480 at 1200 kbit/s, 29.97 fps; MP3
  // at 128 kbit/s, 44100 Hz, stereo.
  EXPECT_EQ(video->ValueTexts(),
            (std::vector<std::string>{"xvid", "640x480", "1200 kbps", "29.97 fps"}));
  EXPECT_EQ(audio->ValueTexts(), (std::vector<std::string>{"mp3", "128 kbps", "44100", "2"}));
  // (1200 + 128) × 60 / 8 / 1024 MB per minute.
  EXPECT_EQ(Find<QLabel>("MBperMinLabel")->text().toStdString(), "About 9.7 MB per minute");
  EXPECT_EQ(Find<QLabel>("EstimatedSizeLabel")->text().toStdString(), "Estimated size: 0 MB");
  // The codec is chosen from the list only; the frame size may be typed.
  EXPECT_TRUE(video->rows()[0].read_only);
  EXPECT_TRUE(video->rows()[1].pick_list);
  EXPECT_FALSE(time->rows()[0].pick_list);
}

TEST_F(MainWindowTest, ChoosingAProfileShowsItsRowsAndRemembersIt) {
  auto* combo = Find<QComboBox>("ProfileCombo");
  const int wmv = IndexOf(combo, "WMV");
  ASSERT_GE(wmv, 0);
  combo->setCurrentIndex(wmv);
  emit combo->activated(wmv);

  auto* audio = Find<ValueListEditor>("AudioValueList");
  EXPECT_EQ(Keys(audio), (std::vector<std::string>{"Codec=", "Format="}));
  EXPECT_EQ(audio->ValueTexts()[0], "Windows Media Audio 9.2");
  EXPECT_EQ(Find<ValueListEditor>("VideoValueList")->ValueTexts()[0], "Windows Media Video 8");
  EXPECT_EQ(ReadSettingText("OutputConfig\\last_profile", ""), "WMV");
  EXPECT_EQ(window_->presenter().output().format, kFormatWmv);

  const int psp = IndexOf(combo, "PSP");
  ASSERT_GE(psp, 0);
  emit combo->activated(psp);
  // The thumbnail button belongs to PSP profiles.
  EXPECT_TRUE(Find<QPushButton>("SaveThumbnailBtn")->isVisible());
  // A profile without a device keeps the PSP choice; another device ends it.
  emit combo->activated(IndexOf(combo, "AVI"));
  EXPECT_TRUE(Find<QPushButton>("SaveThumbnailBtn")->isVisible());
  emit combo->activated(IndexOf(combo, "iPod"));
  EXPECT_FALSE(Find<QPushButton>("SaveThumbnailBtn")->isVisible());
}

TEST_F(MainWindowTest, TypedAndPickedCellsReachTheProfile) {
  auto* time = Find<ValueListEditor>("TimeValueList");
  time->editItem(time->item(0, 1));
  auto* editor = time->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, "1:30");
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([&] { return window_->presenter().profiles().current()->t == 90; }));
  // The cell is written back in normal form.
  EXPECT_TRUE(WaitUntil([&] { return time->ValueTexts()[0] == "0:01:30"; }));

  auto* video = Find<ValueListEditor>("VideoValueList");
  video->setCurrentCell(2, 1);
  video->editItem(video->item(2, 1));
  auto* combo = video->findChild<QComboBox*>();
  ASSERT_NE(combo, nullptr);
  const int choice = combo->findText("800");
  ASSERT_GE(choice, 0);
  combo->setCurrentIndex(choice);
  emit combo->activated(choice);
  ASSERT_TRUE(WaitUntil([&] { return window_->presenter().profiles().current()->b == 800; }));
  EXPECT_TRUE(WaitUntil([&] {
    return Find<QLabel>("MBperMinLabel")->text().toStdString() == MbPerMinuteText(800, 128);
  }));
}

TEST_F(MainWindowTest, ConvertWithNothingOpenSaysSoAndChangesNothing) {
  auto* convert = Find<QPushButton>("StartRecordingButton");
  QTest::mouseClick(convert, Qt::LeftButton);
  EXPECT_EQ(box_.Texts(),
            (std::vector<std::string>{"DVD or video file not ready. Try to open again."}));
  EXPECT_EQ(convert->text().toStdString(), "Convert");
  EXPECT_TRUE(convert->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("PlayButton")->isEnabled());
  EXPECT_FALSE(window_->presenter().converting());

  // "Record it" is the same command.
  box_.Clear();
  Find<QAction>("EncodeMenu")->trigger();
  EXPECT_EQ(box_.Texts().size(), 1u);
}

TEST_F(MainWindowTest, TypingAnOutputFolderComposesTheOutputPath) {
  auto* edit = Find<QLineEdit>("OutputFolderEdit");
  const std::string folder = world_.Path("videos");
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, QString::fromStdString(folder + "/"));
  const std::string path = window_->presenter().output_path();
  EXPECT_EQ(path.rfind(folder + "/", 0), 0u) << path;
  EXPECT_EQ(ReadSettingText("OutputConfig\\LastOutput", ""), path);
}

TEST_F(MainWindowTest, ClosingStoresTheWindowPlace) {
  window_->move(40, 50);
  ASSERT_TRUE(WaitUntil([&] { return window_->pos() == QPoint(40, 50); }));
  ASSERT_TRUE(window_->close());
  int left = 0, top = 0, width = 0, height = 0;
  ASSERT_EQ(std::sscanf(ReadSettingText("WindowSize", "").c_str(), "%d %d %d %d", &left, &top,
                        &width, &height),
            4);
  EXPECT_EQ(width, window_->width());
  EXPECT_EQ(height, window_->height());
  window_.reset();
}

class TransferWindowTest : public MainWindowTest {
 protected:
  QtMainWindowOptions WindowOptions() override {
    QtMainWindowOptions options = MainWindowTest::WindowOptions();
    options.transfer_window = [this](QWidget* parent) {
      ++made_;
      auto* window = new QWidget(parent, Qt::Window);
      window->setObjectName("TTransferForm");
      return window;
    };
    return options;
  }
  int made_ = 0;
};

TEST_F(TransferWindowTest, TheTransferCommandOpensOneWindow) {
  QAction* transfer = Find<QAction>("menu_Transfer");
  ASSERT_TRUE(transfer->isVisible());
  EXPECT_EQ(transfer->text().toStdString(), "PSP Video Transfer");
  transfer->trigger();
  transfer->trigger();
  EXPECT_EQ(made_, 1);
  EXPECT_TRUE(Find<QWidget>("TTransferForm")->isVisible());
  // It goes with the main window.
  ASSERT_TRUE(window_->close());
  EXPECT_FALSE(Find<QWidget>("TTransferForm")->isVisible());
}

}  // namespace
}  // namespace ovc::test
