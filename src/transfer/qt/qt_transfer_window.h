#pragma once

#include <QWidget>

#include <functional>
#include <string>

#include "transfer/psp_drive.h"
#include "transfer/transfer_state.h"

class QCheckBox;
class QComboBox;
class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;

namespace ovc {

class FileListView;
class FileListModel;
class SpaceChart;

// "Transfer Video files into PSP": copies videos between a folder of the
// computer (left) and the video folder of a PSP's memory stick (right),
// deletes them on either side, shows the stick's space as a pie chart and
// changes the title a PSP shows for an MP4 video.
//
// Create it once, with the main window as parent; it is a window of its
// own, never modal, and closing it only hides it. Every showing (ShowWindow,
// or show() from the caller) takes the video kind from the kind source,
// fills the folder edit with the folder of the stored output path
// ("LastOutput"), detects the PSP and reads the computer list again.
//
// Drives are looked up through DriveTable (OVC_DRIVES in tests); messages
// and questions go through ShowMessageBox. Copies run on the user interface
// thread behind a progress window and ask before replacing a file.
class QtTransferWindow : public QWidget {
  Q_OBJECT

 public:
  explicit QtTransferWindow(QWidget* parent);
  ~QtTransferWindow() override;

  // Shows the window (not modally) and brings it to the front.
  void ShowWindow();

  // Tells the kind of PSP video the main window writes now (AVC when its
  // PSP output uses H.264 video, else MPEG-4); asked at every showing.
  // Without a source the kind stays as the user last chose it.
  void SetVideoKindSource(std::function<PspVideoKind()> source) {
    kind_source_ = std::move(source);
  }

  const TransferWindowState& state() const { return state_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  QWidget* BuildComputerPanel();
  QWidget* BuildPspPanel();
  void LayOut();
  void ConnectControls();

  // Every showing.
  void OnShowing();
  // Detect PSP.
  void Detect();
  // The chosen drive list entry changed.
  void DriveChanged();
  // Sets the kind and refills the drive list for it.
  void SetKind(PspVideoKind kind);
  void Rebuild();
  // The folder edit's text to the computer list; failures are ignored.
  void ApplyFolderEdit();
  void HideThumbnailsClicked();
  // The PSP list shows the placeholder folder.
  void FillEmpty();
  void FillPie();
  void SetStatus(const char* text);
  // Chooses the entry of state_.drive_index's letter (none when it is -1 or
  // the letter has no entry), without a drive change.
  void SelectDriveEntry(int drive_index);
  // The drive list: an entry per volume of the table, the chosen one kept.
  void FillDriveList(const DriveTable& drives);
  // The drive list's tooltip: the chosen entry whole.
  void UpdateDriveToolTip();
  void ApplyFilter();
  void UpdateUnlistedNote();

  void Transfer(FileListView* from, FileListView* to);
  void DeleteButtonClicked();
  void QuickDelete(FileListView* list);
  void Refresh();
  void UpdateTitleEdit(FileListView* list);
  // A list was read again: the editor follows it only when it edits a file
  // of that list that is no longer the selected one.
  void ListReread(FileListView* list);
  void ChangeTitleClicked();
  void OpenItem(FileListView* list, const QModelIndex& index);
  void ComputerFolderUp();
  void BrowseComputerFolder();
  void WatchFolders();

  TransferWindowState state_;
  std::function<PspVideoKind()> kind_source_;
  bool shown_before_ = false;
  // The file whose title is edited and the list it belongs to.
  std::string title_path_;
  FileListView* title_list_ = nullptr;

  QWidget* columns_ = nullptr;
  QWidget* computer_panel_ = nullptr;
  QWidget* psp_panel_ = nullptr;
  QWidget* middle_buttons_ = nullptr;
  FileListModel* computer_model_ = nullptr;
  FileListModel* psp_model_ = nullptr;
  FileListView* computer_list_ = nullptr;
  FileListView* psp_list_ = nullptr;
  // Under the computer list: why MP4 videos of its folder are not listed.
  QLabel* unlisted_note_ = nullptr;

  QLineEdit* folder_edit_ = nullptr;
  QToolButton* folder_up_ = nullptr;
  QToolButton* folder_browse_ = nullptr;
  QCheckBox* hide_thumbnails_ = nullptr;
  QLabel* file_name_caption_ = nullptr;
  QLabel* file_name_ = nullptr;
  QLabel* title_caption_ = nullptr;
  QLineEdit* title_edit_ = nullptr;
  QPushButton* title_apply_ = nullptr;

  QPushButton* detect_ = nullptr;
  QComboBox* drive_combo_ = nullptr;
  QRadioButton* mpeg4_radio_ = nullptr;
  QRadioButton* h264_radio_ = nullptr;
  QLabel* status_ = nullptr;
  SpaceChart* chart_ = nullptr;

  QPushButton* transfer_ = nullptr;
  QPushButton* transfer_back_ = nullptr;
  QPushButton* delete_ = nullptr;
  QToolButton* refresh_ = nullptr;

  // Re-reads a list when its folder changes on disk (another program, or a
  // conversion, wrote into it), a moment after the last change.
  QFileSystemWatcher* watcher_ = nullptr;
  QTimer* reread_timer_ = nullptr;
};

}  // namespace ovc
