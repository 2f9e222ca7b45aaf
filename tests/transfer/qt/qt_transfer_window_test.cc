#include "transfer/qt/qt_transfer_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPieSeries>
#include <QPieSlice>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/scripted_message_box.h"
#include "settings/settings_store.h"
#include "support/temp_world.h"
#include "transfer/mp4_test_file.h"
#include "transfer/mp4_title.h"
#include "transfer/qt/file_list_view.h"
#include "transfer/qt/space_chart.h"

namespace ovc {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMegabyte = 1048576;

std::string Mp4WithTitle(const std::u16string& title) {
  return test::MakeMp4(title, /*moov_first=*/false).bytes;
}

void MakeSparseFile(const std::string& path, uint64_t bytes) {
  test::WriteFile(path, "");
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(bytes)), 0);
}

// A PSP as drive E (1024 MB, 300 MB free) with two videos and a thumbnail,
// a computer folder with a video, its thumbnail and a subfolder, and the
// stored output path in that folder.
class TransferWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    stick_ = world_.Path("stick");
    psp_folder_ = stick_ + "/MP_ROOT/100MNV01";
    test::WriteFile(stick_ + "/MEMSTICK.IND", "");
    test::WriteFile(psp_folder_ + "/M4V00001.MP4", Mp4WithTitle(u"Holiday"));
    test::WriteFile(psp_folder_ + "/M4V00001.THM", "thumbnail 1");
    MakeSparseFile(psp_folder_ + "/M4V00003.MP4", static_cast<uint64_t>(200.7 * kMegabyte));
    test::WriteFile(psp_folder_ + "/notes.txt", "not a video");
    world_.SetEnv("OVC_DRIVES", "E=" + stick_ + "|1024M|300M");

    computer_ = world_.Path("videos");
    test::WriteFile(computer_ + "/M4V00002.MP4", Mp4WithTitle(u"Beach"));
    test::WriteFile(computer_ + "/M4V00002.THM", "thumbnail 2");
    test::WriteFile(computer_ + "/readme.txt", "");
    fs::create_directories(computer_ + "/sub");
    WriteSettingText("OutputConfig", "LastOutput", computer_ + "/M4V00002.MP4");

    window_ = std::make_unique<QtTransferWindow>(nullptr);
    computer_list_ = Child<FileListView>("TeShellListView1");
    psp_list_ = Child<FileListView>("TeShellListView2");
  }

  void TearDown() override { window_.reset(); }

  template <typename Widget>
  Widget* Child(const char* name) {
    auto* child = window_->findChild<Widget*>(QString::fromLatin1(name));
    if (!child) ADD_FAILURE() << "no control named " << name;
    return child;
  }

  void Click(const char* name) { Child<QAbstractButton>(name)->click(); }

  static std::vector<std::string> Column(FileListView* list, int column) {
    std::vector<std::string> texts;
    QAbstractItemModel* model = list->model();
    for (int row = 0; row < model->rowCount(); ++row)
      texts.push_back(model->index(row, column).data().toString().toStdString());
    return texts;
  }
  static std::vector<std::string> Names(FileListView* list) {
    return Column(list, FileListModel::kNameColumn);
  }

  static void Select(FileListView* list, const std::vector<std::string>& names,
                     const std::string& folder) {
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(folder + "/" + name);
    list->SelectPaths(paths);
  }

  // Label and value (in tenths of MB) of each slice of the space chart.
  std::vector<std::pair<std::string, double>> Slices() {
    std::vector<std::pair<std::string, double>> slices;
    for (QPieSlice* slice : Child<SpaceChart>("Chart1")->series()->slices())
      slices.emplace_back(slice->label().toStdString(), std::round(slice->value() * 10) / 10);
    return slices;
  }

  void MakeActive() {
    window_->ShowWindow();
    QApplication::setActiveWindow(window_.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }

  test::TempWorld world_;
  ScriptedMessageBox box_;
  ScopedMessageBox scoped_box_{&box_};
  std::string stick_, psp_folder_, computer_;
  std::unique_ptr<QtTransferWindow> window_;
  FileListView* computer_list_ = nullptr;
  FileListView* psp_list_ = nullptr;
};

using Strings = std::vector<std::string>;
using Slice = std::pair<std::string, double>;

TEST_F(TransferWindowTest, ShowingFillsTheListsAndTheChart) {
  window_->ShowWindow();
  EXPECT_EQ(window_->windowTitle().toStdString(), "Transfer Video files into PSP");
  EXPECT_EQ(Child<QLabel>("TeLabel3")->text().toStdString(), "PSP detected");

  auto* drives = Child<QComboBox>("PSPDriveCombo");
  ASSERT_EQ(drives->count(), 1);
  EXPECT_EQ(drives->itemText(0).toStdString(), "E: " + psp_folder_);
  EXPECT_EQ(drives->currentIndex(), 0);
  EXPECT_EQ(drives->toolTip(), drives->itemText(0));  // the box may cut it

  EXPECT_EQ(Names(psp_list_), (Strings{"M4V00001.MP4", "M4V00003.MP4"}));
  EXPECT_EQ(Column(psp_list_, FileListModel::kTitleColumn), (Strings{"Holiday", ""}));
  EXPECT_EQ(Column(psp_list_, FileListModel::kSizeColumn)[1], "200MB");

  EXPECT_EQ(Child<QLineEdit>("TeDirectoryEdit1")->text().toStdString(), computer_);
  EXPECT_EQ(Names(computer_list_), (Strings{"sub", "M4V00002.MP4"}));
  EXPECT_EQ(Column(computer_list_, FileListModel::kTitleColumn), (Strings{"", "Beach"}));
  EXPECT_EQ(Column(computer_list_, FileListModel::kSizeColumn)[0], "");

  // 1024 MB with 300 free and 200.7 MB of listed video.
  EXPECT_EQ(Slices(), (std::vector<Slice>{{"Free 300M", 300}, {"Video 200M", 200.7},
                                          {"Other 523M", 523.3}}));
}

TEST_F(TransferWindowTest, ChartShowsALittleVideoAsALittle) {
  fs::remove(psp_folder_ + "/M4V00003.MP4");
  MakeSparseFile(psp_folder_ + "/M4V00003.MP4", 6 * kMegabyte / 10);
  window_->ShowWindow();
  EXPECT_EQ(Slices(), (std::vector<Slice>{{"Free 300M", 300}, {"Video 0.6M", 0.6},
                                          {"Other 723M", 723.4}}));
}

TEST_F(TransferWindowTest, ComputerListSaysWhyVideosAreHidden) {
  window_->ShowWindow();
  auto* note = Child<QLabel>("UnlistedNote");
  EXPECT_FALSE(note->isVisible());

  test::WriteFile(computer_ + "/clip.mp4", "");
  Click("btnRefresh");
  EXPECT_EQ(Names(computer_list_), (Strings{"sub", "M4V00002.MP4"}));
  EXPECT_TRUE(note->isVisible());
  EXPECT_EQ(note->text().toStdString().rfind("\"clip.mp4\" is not listed", 0), 0u);
  EXPECT_GT(note->height(), 0);
  EXPECT_LE(computer_list_->geometry().bottom(), note->geometry().top());

  fs::remove(computer_ + "/clip.mp4");
  Click("btnRefresh");
  EXPECT_FALSE(note->isVisible());
}

TEST_F(TransferWindowTest, WithoutAPspThePspListShowsThePlaceholder) {
  world_.SetEnv("OVC_DRIVES", "F=" + world_.Path("card") + "|1G|1G");
  fs::create_directories(world_.Path("card"));
  test::WriteFile(world_.home() + "/temp/M4V00077.MP4", "");  // the program folder's temp
  window_->ShowWindow();
  EXPECT_EQ(Child<QLabel>("TeLabel3")->text().toStdString(), "PSP not detected");
  EXPECT_EQ(Child<QComboBox>("PSPDriveCombo")->currentIndex(), -1);
  EXPECT_EQ(Names(psp_list_), (Strings{"M4V00077.MP4"}));
  EXPECT_TRUE(Slices().empty());

  // Nothing to copy to while no drive is chosen.
  Select(computer_list_, {"M4V00002.MP4"}, computer_);
  Click("btnTransfer");
  EXPECT_FALSE(fs::exists(world_.home() + "/temp/M4V00002.MP4"));
  EXPECT_TRUE(box_.Texts().empty());
}

TEST_F(TransferWindowTest, HideThumbnailFilesFiltersBothLists) {
  window_->ShowWindow();
  auto* hide = Child<QCheckBox>("HideThumbnail");
  EXPECT_TRUE(hide->isChecked());

  hide->click();
  EXPECT_EQ(Names(psp_list_), (Strings{"M4V00001.MP4", "M4V00001.THM", "M4V00003.MP4"}));
  EXPECT_EQ(Names(computer_list_), (Strings{"sub", "M4V00002.MP4", "M4V00002.THM"}));

  hide->click();
  EXPECT_EQ(Names(psp_list_), (Strings{"M4V00001.MP4", "M4V00003.MP4"}));
  EXPECT_EQ(Names(computer_list_), (Strings{"sub", "M4V00002.MP4"}));
}

TEST_F(TransferWindowTest, TransferCopiesVideosWithTheirThumbnails) {
  window_->ShowWindow();
  Select(computer_list_, {"M4V00002.MP4"}, computer_);
  Click("btnTransfer");
  EXPECT_EQ(test::ReadFile(psp_folder_ + "/M4V00002.MP4"), Mp4WithTitle(u"Beach"));
  EXPECT_EQ(test::ReadFile(psp_folder_ + "/M4V00002.THM"), "thumbnail 2");
  EXPECT_EQ(Names(psp_list_), (Strings{"M4V00001.MP4", "M4V00002.MP4", "M4V00003.MP4"}));
  EXPECT_TRUE(box_.Texts().empty());

  // Again: both files exist; the user keeps the video and replaces the thumbnail.
  test::WriteFile(computer_ + "/M4V00002.THM", "new thumbnail");
  box_.Answer(kButtonNo);
  box_.Answer(kButtonYes);
  Click("btnTransfer");
  ASSERT_EQ(box_.Texts().size(), 2u);
  EXPECT_NE(box_.Texts()[0].find("M4V00002.MP4\" already exists"), std::string::npos);
  EXPECT_EQ(test::ReadFile(psp_folder_ + "/M4V00002.THM"), "new thumbnail");

  // And back: the PSP's video lands in the computer folder.
  box_.Clear();
  Select(psp_list_, {"M4V00001.MP4"}, psp_folder_);
  Click("btnTransferBack");
  EXPECT_EQ(test::ReadFile(computer_ + "/M4V00001.MP4"), Mp4WithTitle(u"Holiday"));
  EXPECT_EQ(test::ReadFile(computer_ + "/M4V00001.THM"), "thumbnail 1");
  EXPECT_EQ(Names(computer_list_), (Strings{"sub", "M4V00001.MP4", "M4V00002.MP4"}));
  EXPECT_TRUE(box_.Texts().empty());
}

TEST_F(TransferWindowTest, ListsTakeDropsOnlyFromEachOther) {
  window_->ShowWindow();
  EXPECT_TRUE(psp_list_->AcceptsDropFrom(computer_list_));
  EXPECT_TRUE(computer_list_->AcceptsDropFrom(psp_list_));
  EXPECT_FALSE(psp_list_->AcceptsDropFrom(psp_list_));
  EXPECT_FALSE(psp_list_->AcceptsDropFrom(nullptr));  // another program

  // A drop is a transfer of the other list's selection, once the drag is over.
  Select(computer_list_, {"M4V00002.MP4"}, computer_);
  emit psp_list_->DroppedFromPartner();
  EXPECT_TRUE(fs::exists(psp_folder_ + "/M4V00002.MP4"));
  EXPECT_TRUE(fs::exists(psp_folder_ + "/M4V00002.THM"));
}

TEST_F(TransferWindowTest, AvcVideosHaveTheirOwnFolder) {
  std::string avc_folder = stick_ + "/MP_ROOT/100ANV01";
  test::WriteFile(avc_folder + "/MAQ00003.MP4", Mp4WithTitle(u"AVC"));
  test::WriteFile(avc_folder + "/maq00004.mp4", "");
  test::WriteFile(avc_folder + "/M4V00005.MP4", "");
  test::WriteFile(avc_folder + "/MAQ00003.THM", "");
  window_->SetVideoKindSource([] { return PspVideoKind::kAvc; });
  window_->ShowWindow();
  EXPECT_TRUE(Child<QRadioButton>("H264_radio")->isChecked());
  EXPECT_EQ(Child<QComboBox>("PSPDriveCombo")->itemText(0).toStdString(),
            "E: " + stick_ + "/MP_ROOT/100ANV01");
  EXPECT_EQ(Names(psp_list_), (Strings{"MAQ00003.MP4", "maq00004.mp4"}));
  EXPECT_EQ(Names(computer_list_), (Strings{"sub"}));

  // Back to MPEG-4 by the radio button.
  Click("Mpeg4_radio");
  EXPECT_EQ(Child<QComboBox>("PSPDriveCombo")->itemText(0).toStdString(), "E: " + psp_folder_);
  EXPECT_EQ(Child<QComboBox>("PSPDriveCombo")->currentIndex(), 0);
  EXPECT_EQ(Names(psp_list_), (Strings{"M4V00001.MP4", "M4V00003.MP4"}));
}

TEST_F(TransferWindowTest, MissingVideoFolderIsMadeOnThePspWithoutAsking) {
  fs::remove_all(stick_ + "/MP_ROOT");
  window_->ShowWindow();
  EXPECT_TRUE(fs::is_directory(psp_folder_));
  EXPECT_TRUE(Names(psp_list_).empty());
  EXPECT_TRUE(box_.Texts().empty());
}

TEST_F(TransferWindowTest, AnotherDriveGetsAVideoFolderOnlyWhenTheUserAgrees) {
  std::string card = world_.Path("card");
  fs::create_directories(card);
  world_.SetEnv("OVC_DRIVES", "E=" + stick_ + "|1024M|300M;F=" + card + "|16G|8G");
  window_->ShowWindow();
  auto* drives = Child<QComboBox>("PSPDriveCombo");

  ASSERT_EQ(drives->count(), 2);
  EXPECT_EQ(drives->itemText(1).toStdString(), "F: " + card + "/MP_ROOT/100MNV01");
  const int e = drives->findData('E'), f = drives->findData('F');

  box_.Answer(kButtonNo);
  drives->setCurrentIndex(f);
  ASSERT_EQ(box_.Texts().size(), 1u);
  EXPECT_EQ(box_.Texts()[0], PspKind(PspVideoKind::kMpeg4).confirmation);
  EXPECT_FALSE(fs::exists(card + "/MP_ROOT"));

  box_.Answer(kButtonYes);
  drives->setCurrentIndex(e);
  drives->setCurrentIndex(f);
  EXPECT_TRUE(fs::is_directory(card + "/MP_ROOT/100MNV01"));
  test::WriteFile(card + "/MP_ROOT/100MNV01/M4V00009.MP4", "");

  // Detect PSP again finds the stick E, and the list follows the choice.
  Click("btnDetectPSP");
  EXPECT_EQ(drives->currentIndex(), e);
  EXPECT_EQ(Names(psp_list_), (Strings{"M4V00001.MP4", "M4V00003.MP4"}));

  // The card holds a video folder now: without the stick, it is the PSP.
  fs::remove_all(stick_);
  box_.Clear();
  Click("btnDetectPSP");
  ASSERT_EQ(drives->count(), 2);
  EXPECT_EQ(drives->currentIndex(), f);
  EXPECT_EQ(Names(psp_list_), (Strings{"M4V00009.MP4"}));
  EXPECT_EQ(Slices().at(0).first, "Free 8,192M");

  // Nothing found: no drive stays chosen beside the placeholder list.
  fs::remove_all(card + "/MP_ROOT");
  Click("btnDetectPSP");
  EXPECT_EQ(Child<QLabel>("TeLabel3")->text().toStdString(), "PSP not detected");
  EXPECT_EQ(drives->currentIndex(), -1);
  EXPECT_TRUE(Names(psp_list_).empty());
  EXPECT_TRUE(Slices().empty());
  EXPECT_TRUE(box_.Texts().empty());
}

TEST_F(TransferWindowTest, TitleEditorChangesTheTitleAFileShows) {
  window_->ShowWindow();
  auto* title = Child<QLineEdit>("TitleEdit");
  auto* apply = Child<QPushButton>("TitleApplyButton");
  EXPECT_FALSE(apply->isEnabled());

  Select(psp_list_, {"M4V00001.MP4"}, psp_folder_);
  EXPECT_TRUE(apply->isEnabled());
  EXPECT_TRUE(title->isEnabled());
  EXPECT_EQ(Child<QLabel>("FileNameLabel")->text().toStdString(), "M4V00001.MP4");
  EXPECT_EQ(title->text().toStdString(), "Holiday");

  title->setText(QStringLiteral("Sunset at Mørkøy"));
  apply->click();
  EXPECT_EQ(ReadMp4Title(psp_folder_ + "/M4V00001.MP4"), "Sunset at Mørkøy");
  EXPECT_EQ(Column(psp_list_, FileListModel::kTitleColumn)[0], "Sunset at Mørkøy");
  EXPECT_EQ(title->text().toStdString(), "Sunset at Mørkøy");
  EXPECT_EQ(psp_list_->SelectedFiles(), (Strings{psp_folder_ + "/M4V00001.MP4"}));
  EXPECT_TRUE(box_.Texts().empty());

  // A file without a title entry is left alone, and the user is told.
  Select(psp_list_, {"M4V00003.MP4"}, psp_folder_);
  title->setText(QStringLiteral("Nope"));
  apply->click();
  ASSERT_EQ(box_.Texts().size(), 1u);
  EXPECT_NE(box_.Texts()[0].find("M4V00003.MP4"), std::string::npos);

  // Only MP4 files can be edited.
  Child<QCheckBox>("HideThumbnail")->click();
  Select(psp_list_, {"M4V00001.THM"}, psp_folder_);
  EXPECT_FALSE(apply->isEnabled());
  EXPECT_FALSE(title->isEnabled());
  EXPECT_TRUE(title->text().isEmpty());
  Select(computer_list_, {"M4V00002.MP4"}, computer_);
  EXPECT_EQ(title->text().toStdString(), "Beach");
  computer_list_->SelectPaths({});
  EXPECT_FALSE(apply->isEnabled());
}

TEST_F(TransferWindowTest, DeleteButtonDeletesVideosWithThumbnailsAfterAsking) {
  MakeActive();
  Select(psp_list_, {"M4V00001.MP4"}, psp_folder_);

  // Neither list has the keyboard focus: nothing happens.
  Child<QLineEdit>("TitleEdit")->setFocus();
  Click("btnDel");
  EXPECT_TRUE(box_.Texts().empty());

  psp_list_->setFocus();
  box_.Answer(kButtonNo);
  Click("btnDel");
  ASSERT_EQ(box_.Texts(), (Strings{"Are you sure to delete selected files?\n"}));
  EXPECT_TRUE(fs::exists(psp_folder_ + "/M4V00001.MP4"));

  box_.Answer(kButtonYes);
  Click("btnDel");
  EXPECT_FALSE(fs::exists(psp_folder_ + "/M4V00001.MP4"));
  EXPECT_FALSE(fs::exists(psp_folder_ + "/M4V00001.THM"));
  EXPECT_EQ(Names(psp_list_), (Strings{"M4V00003.MP4"}));
}

TEST_F(TransferWindowTest, DeleteKeyDeletesOnlyTheSelectedFiles) {
  MakeActive();
  Select(computer_list_, {"M4V00002.MP4"}, computer_);
  computer_list_->setFocus();
  box_.Answer(kButtonYes);
  QTest::keyClick(computer_list_, Qt::Key_Delete);
  ASSERT_EQ(box_.Texts().size(), 1u);
  EXPECT_FALSE(fs::exists(computer_ + "/M4V00002.MP4"));
  EXPECT_TRUE(fs::exists(computer_ + "/M4V00002.THM"));
  EXPECT_EQ(Names(computer_list_), (Strings{"sub"}));
}

// The window opens wholly on its screen, however small, and Escape closes
// it.
TEST_F(TransferWindowTest, OpensOnTheScreenAndEscapeClosesIt) {
  MakeActive();
  const QRect room = window_->screen()->availableGeometry();
  // (The test screen is no wider than the window's least width.)
  const QRect frame = window_->frameGeometry();
  EXPECT_GE(frame.left(), room.left());
  EXPECT_GE(frame.top(), room.top());
  EXPECT_LE(frame.bottom(), room.bottom());
  QTest::keyClick(window_.get(), Qt::Key_Escape);
  EXPECT_FALSE(window_->isVisible());
}

}  // namespace
}  // namespace ovc
