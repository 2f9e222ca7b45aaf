#include "transfer/qt/qt_transfer_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QStylePainter>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

#include "common/message_box.h"
#include "common/trace.h"
#include "transfer/file_transfer.h"
#include "transfer/mp4_title.h"
#include "transfer/psp_file_filter.h"
#include "transfer/psp_space.h"
#include "transfer/qt/copy_progress_window.h"
#include "transfer/qt/file_list_model.h"
#include "transfer/qt/file_list_view.h"
#include "transfer/qt/space_chart.h"
#include "transfer/title_cache.h"
#include "transfer/utf16_text.h"

namespace ovc {

namespace {

constexpr char kWindowCaption[] = "Transfer Video files into PSP";
// Pixels between the upper panels and the lists.
constexpr int kPanelGap = 6;
// A folder that changed on disk is read again this long after its last change.
constexpr int kRereadDelayMilliseconds = 300;

QString Text(const std::string& text) { return QString::fromStdString(text); }
std::string Text(const QString& text) { return text.toStdString(); }

QString FileNameText(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

// A caption with its keyboard mnemonic on the first `letter`.
QString Mnemonic(const char* text, char letter) {
  QString caption = QString::fromUtf8(text);
  qsizetype at = caption.indexOf(QLatin1Char(letter));
  if (at >= 0) caption.insert(at, QLatin1Char('&'));
  return caption;
}

// The middle area of the window: both panels above, both lists below and
// the column of buttons between them, placed by ComputeTransferLayout for
// its width whenever it is resized.
class ColumnsWidget : public QWidget {
 public:
  explicit ColumnsWidget(QWidget* parent) : QWidget(parent) {}
  std::function<void()> on_resize;
  std::function<QSize()> minimum;

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    if (on_resize) on_resize();
  }
  QSize minimumSizeHint() const override { return minimum ? minimum() : QSize(); }
  QSize sizeHint() const override { return minimumSizeHint().expandedTo(QSize(1040, 560)); }
};

// A drop-down list whose shown entry is elided in the middle when it does
// not fit: a drive's path keeps its mount point and its video folder
// ("E: /media/…/MP_ROOT/100MNV01") instead of losing its end. The whole
// path is the tool tip.
class MiddleElidingComboBox : public QComboBox {
 public:
  using QComboBox::QComboBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle,
                                                  field.width());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
  }
};

}  // namespace

QtTransferWindow::QtTransferWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("TTransferForm"));
  setWindowTitle(QString::fromUtf8(kWindowCaption));
  BuildControls();
  ConnectControls();
  setMinimumWidth(kMinTransferWindowWidth);
  resize(sizeHint().expandedTo(QSize(1060, 640)));
}

QtTransferWindow::~QtTransferWindow() = default;

void QtTransferWindow::BuildControls() {
  auto* outer = new QVBoxLayout(this);
  auto* columns = new ColumnsWidget(this);
  columns_ = columns;
  outer->addWidget(columns_);

  computer_model_ = new FileListModel(FileListSide::kComputer, this);
  psp_model_ = new FileListModel(FileListSide::kPsp, this);
  computer_list_ = new FileListView(computer_model_, columns_);
  computer_list_->setObjectName(QStringLiteral("TeShellListView1"));
  psp_list_ = new FileListView(psp_model_, columns_);
  psp_list_->setObjectName(QStringLiteral("TeShellListView2"));
  unlisted_note_ = new QLabel(columns_);
  unlisted_note_->setObjectName(QStringLiteral("UnlistedNote"));
  unlisted_note_->setTextFormat(Qt::PlainText);
  unlisted_note_->setWordWrap(true);
  unlisted_note_->hide();
  computer_list_->SetPartner(psp_list_);
  psp_list_->SetPartner(computer_list_);
  for (FileListModel* model : {computer_model_, psp_model_}) {
    model->SetTitleReader(ReadMp4Title);
    model->SetFilter(state_.kind, state_.hide_thumbnails);
  }

  computer_panel_ = BuildComputerPanel();
  psp_panel_ = BuildPspPanel();

  middle_buttons_ = new QWidget(columns_);
  auto* middle = new QVBoxLayout(middle_buttons_);
  middle->setContentsMargins(0, 0, 0, 0);
  transfer_ = new QPushButton(QStringLiteral("=>"), middle_buttons_);
  transfer_->setObjectName(QStringLiteral("btnTransfer"));
  transfer_->setToolTip(QStringLiteral("Copy the selected files to the PSP (Alt+Right)"));
  transfer_back_ = new QPushButton(QStringLiteral("<="), middle_buttons_);
  transfer_back_->setObjectName(QStringLiteral("btnTransferBack"));
  transfer_back_->setToolTip(QStringLiteral("Copy the selected files to the computer (Alt+Left)"));
  delete_ = new QPushButton(Mnemonic("Del", 'e'), middle_buttons_);
  delete_->setObjectName(QStringLiteral("btnDel"));
  delete_->setToolTip(QStringLiteral("Delete"));
  refresh_ = new QToolButton(middle_buttons_);
  refresh_->setObjectName(QStringLiteral("btnRefresh"));
  refresh_->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
  refresh_->setToolTip(QStringLiteral("Refresh (F5)"));
  middle->addStretch(1);
  for (QAbstractButton* button :
       std::initializer_list<QAbstractButton*>{transfer_, transfer_back_, delete_, refresh_}) {
    // The buttons act on the list that has the keyboard focus; they must
    // not take it away.
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedWidth(31);
    middle->addWidget(button, 0, Qt::AlignHCenter);
    if (button == transfer_back_ || button == delete_) middle->addSpacing(12);
  }
  middle->addStretch(1);

  columns->on_resize = [this] { LayOut(); };
  columns->minimum = [this] {
    int top = std::max(computer_panel_->minimumSizeHint().height(),
                       psp_panel_->minimumSizeHint().height());
    return QSize(kMinTransferWindowWidth - 2 * 12, top + kPanelGap + 160);
  };

  watcher_ = new QFileSystemWatcher(this);
  reread_timer_ = new QTimer(this);
  reread_timer_->setSingleShot(true);
  reread_timer_->setInterval(kRereadDelayMilliseconds);
}

QWidget* QtTransferWindow::BuildComputerPanel() {
  auto* panel = new QWidget(columns_);
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setColumnStretch(1, 1);

  folder_edit_ = new QLineEdit(panel);
  folder_edit_->setObjectName(QStringLiteral("TeDirectoryEdit1"));
  auto* folder_label = new QLabel(Mnemonic("Video Folder", 'F'), panel);
  folder_label->setBuddy(folder_edit_);
  folder_up_ = new QToolButton(panel);
  folder_up_->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
  folder_up_->setToolTip(QStringLiteral("Up one folder (Backspace)"));
  folder_browse_ = new QToolButton(panel);
  folder_browse_->setText(QStringLiteral("..."));
  folder_browse_->setToolTip(QStringLiteral("Choose the video folder"));
  grid->addWidget(folder_label, 0, 0);
  grid->addWidget(folder_edit_, 0, 1);
  grid->addWidget(folder_up_, 0, 2);
  grid->addWidget(folder_browse_, 0, 3);

  hide_thumbnails_ = new QCheckBox(Mnemonic("Hide Thumbnail files", 'H'), panel);
  hide_thumbnails_->setObjectName(QStringLiteral("HideThumbnail"));
  hide_thumbnails_->setChecked(state_.hide_thumbnails);
  grid->addWidget(hide_thumbnails_, 1, 1, 1, 3);

  file_name_caption_ = new QLabel(QStringLiteral("Filename:"), panel);
  file_name_ = new QLabel(panel);
  file_name_->setObjectName(QStringLiteral("FileNameLabel"));
  file_name_->setTextFormat(Qt::PlainText);
  title_edit_ = new QLineEdit(panel);
  title_edit_->setObjectName(QStringLiteral("TitleEdit"));
  title_edit_->setMaxLength(static_cast<int>(kMaxTitleUnits));
  title_caption_ = new QLabel(Mnemonic("Title:", 'T'), panel);
  title_caption_->setBuddy(title_edit_);
  title_apply_ = new QPushButton(Mnemonic("Change Video Title", 'C'), panel);
  title_apply_->setObjectName(QStringLiteral("TitleApplyButton"));
  grid->addWidget(file_name_caption_, 2, 0);
  grid->addWidget(file_name_, 2, 1, 1, 3);
  grid->addWidget(title_caption_, 3, 0);
  grid->addWidget(title_edit_, 3, 1, 1, 3);
  grid->addWidget(title_apply_, 4, 1, 1, 3, Qt::AlignRight);
  grid->setRowStretch(5, 1);
  for (QWidget* control : std::initializer_list<QWidget*>{
           file_name_caption_, file_name_, title_caption_, title_edit_, title_apply_})
    control->setEnabled(false);
  return panel;
}

QWidget* QtTransferWindow::BuildPspPanel() {
  auto* panel = new QWidget(columns_);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(0, 0, 0, 0);
  auto* controls = new QVBoxLayout;
  // The drive list's entries are whole paths: it takes most of the width.
  row->addLayout(controls, 3);

  detect_ = new QPushButton(Mnemonic("Detect PSP", 'D'), panel);
  detect_->setObjectName(QStringLiteral("btnDetectPSP"));
  status_ = new QLabel(QStringLiteral("PSP Detected"), panel);
  status_->setObjectName(QStringLiteral("TeLabel3"));
  auto* detect_row = new QHBoxLayout;
  detect_row->addWidget(detect_);
  detect_row->addWidget(status_, 1);
  controls->addLayout(detect_row);

  drive_combo_ = new MiddleElidingComboBox(panel);
  drive_combo_->setObjectName(QStringLiteral("PSPDriveCombo"));
  drive_combo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  drive_combo_->setMinimumContentsLength(24);
  controls->addWidget(drive_combo_);

  mpeg4_radio_ = new QRadioButton(Mnemonic(PspKind(PspVideoKind::kMpeg4).caption, 'M'), panel);
  mpeg4_radio_->setObjectName(QStringLiteral("Mpeg4_radio"));
  h264_radio_ = new QRadioButton(Mnemonic(PspKind(PspVideoKind::kAvc).caption, 'A'), panel);
  h264_radio_->setObjectName(QStringLiteral("H264_radio"));
  mpeg4_radio_->setChecked(true);
  controls->addWidget(mpeg4_radio_);
  controls->addWidget(h264_radio_);
  controls->addStretch(1);

  chart_ = new SpaceChart(panel);
  chart_->setObjectName(QStringLiteral("Chart1"));
  chart_->ShowNone();
  row->addWidget(chart_, 2);
  return panel;
}

void QtTransferWindow::LayOut() {
  const TransferLayout layout = ComputeTransferLayout(columns_->width());
  const int top = std::max(computer_panel_->sizeHint().height(), psp_panel_->sizeHint().height());
  const int list_top = top + kPanelGap;
  const int list_height = std::max(0, columns_->height() - list_top);
  computer_panel_->setGeometry(0, 0, layout.upper_left_width, top);
  psp_panel_->setGeometry(layout.upper_right_left, 0, layout.upper_right_width, top);
  const int note_height = unlisted_note_->isVisibleTo(this)
                              ? unlisted_note_->heightForWidth(layout.computer_list_width)
                              : 0;
  const int computer_height = std::max(0, list_height - (note_height > 0 ? note_height + 4 : 0));
  computer_list_->setGeometry(0, list_top, layout.computer_list_width, computer_height);
  unlisted_note_->setGeometry(0, list_top + computer_height + 4, layout.computer_list_width,
                              note_height);
  psp_list_->setGeometry(layout.psp_list_left, list_top, layout.psp_list_width, list_height);
  const int middle_left = layout.computer_list_width;
  middle_buttons_->setGeometry(middle_left, list_top, layout.psp_list_left - middle_left,
                               list_height);
}

void QtTransferWindow::ConnectControls() {
  connect(detect_, &QPushButton::clicked, this, [this] { Detect(); });
  connect(drive_combo_, &QComboBox::currentIndexChanged, this, [this](int index) {
    UpdateDriveToolTip();
    if (state_.rebuilding) return;
    const int letter = index < 0 ? -1 : drive_combo_->itemData(index).toInt();
    state_.drive_index = letter < 0 ? -1 : letter - 'A';
    DriveChanged();
  });
  connect(mpeg4_radio_, &QRadioButton::clicked, this, [this] { SetKind(PspVideoKind::kMpeg4); });
  connect(h264_radio_, &QRadioButton::clicked, this, [this] { SetKind(PspVideoKind::kAvc); });
  connect(hide_thumbnails_, &QCheckBox::clicked, this, [this] { HideThumbnailsClicked(); });
  connect(folder_edit_, &QLineEdit::textChanged, this, [this](const QString& text) {
    // Only whole paths: a half-typed relative name would be taken from
    // wherever the program happens to run.
    if (text.startsWith(QLatin1Char('/')) && Text(text) != computer_model_->folder())
      computer_model_->SetFolder(Text(text));
  });
  connect(folder_up_, &QToolButton::clicked, this, [this] { ComputerFolderUp(); });
  connect(folder_browse_, &QToolButton::clicked, this, [this] { BrowseComputerFolder(); });

  // Both lists: a new folder shows in the folder edit (the computer list's)
  // and redraws the chart.
  auto root_changed = [this] {
    QString folder = Text(computer_model_->folder());
    if (folder_edit_->text() != folder) folder_edit_->setText(folder);
    FillPie();
    WatchFolders();
  };
  computer_model_->SetRootChangedHook(root_changed);
  psp_model_->SetRootChangedHook(root_changed);

  connect(computer_model_, &QAbstractItemModel::modelReset, this, [this] { UpdateUnlistedNote(); });
  connect(transfer_, &QPushButton::clicked, this, [this] { Transfer(computer_list_, psp_list_); });
  connect(transfer_back_, &QPushButton::clicked, this,
          [this] { Transfer(psp_list_, computer_list_); });
  connect(delete_, &QPushButton::clicked, this, [this] { DeleteButtonClicked(); });
  connect(refresh_, &QToolButton::clicked, this, [this] { Refresh(); });
  connect(title_apply_, &QPushButton::clicked, this, [this] { ChangeTitleClicked(); });
  connect(title_edit_, &QLineEdit::returnPressed, this, [this] {
    if (title_apply_->isEnabled()) ChangeTitleClicked();
  });

  for (FileListView* list : {computer_list_, psp_list_}) {
    FileListView* other = list == computer_list_ ? psp_list_ : computer_list_;
    connect(list, &FileListView::DroppedFromPartner, this,
            [this, list, other] { Transfer(other, list); });
    connect(list, &FileListView::DeleteKeyPressed, this, [this, list] { QuickDelete(list); });
    connect(list, &FileListView::SelectionStateChanged, this,
            [this, list] { UpdateTitleEdit(list); });
    connect(list, &FileListView::Reread, this, [this, list] { ListReread(list); });
    connect(list, &QAbstractItemView::activated, this,
            [this, list](const QModelIndex& index) { OpenItem(list, index); });
  }
  connect(computer_list_, &FileListView::UpRequested, this, [this] { ComputerFolderUp(); });

  auto shortcut = [this](QKeySequence keys, QAbstractButton* button) {
    connect(new QShortcut(keys, this), &QShortcut::activated, button, &QAbstractButton::click);
  };
  shortcut(QKeySequence(Qt::ALT | Qt::Key_Right), transfer_);
  shortcut(QKeySequence(Qt::ALT | Qt::Key_Left), transfer_back_);
  shortcut(QKeySequence(Qt::Key_F5), refresh_);
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
          &QWidget::close);

  connect(watcher_, &QFileSystemWatcher::directoryChanged, reread_timer_,
          qOverload<>(&QTimer::start));
  connect(reread_timer_, &QTimer::timeout, this, [this] {
    computer_model_->Reread();
    psp_model_->Reread();
    FillPie();
  });
}

void QtTransferWindow::ShowWindow() {
  show();
  raise();
  activateWindow();
}

void QtTransferWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Restoring a minimised window is not a new showing.
  if (!event->spontaneous()) OnShowing();
}

void QtTransferWindow::OnShowing() {
  if (!shown_before_) {
    shown_before_ = true;
    // Wholly on the screen it opens on, however small (1280 × 800 with a
    // panel leaves less than the window's preferred size).
    if (QScreen* on = screen()) {
      const QRect room = on->availableGeometry();
      resize(size().boundedTo(room.size() - QSize(16, 48)).expandedTo(minimumSize()));
      QRect place = frameGeometry();
      place.moveCenter(parentWidget() ? parentWidget()->frameGeometry().center() : room.center());
      const QPoint last(std::max(room.left(), room.right() - place.width()),
                        std::max(room.top(), room.bottom() - place.height()));
      place.moveLeft(std::clamp(place.left(), room.left(), last.x()));
      place.moveTop(std::clamp(place.top(), room.top(), last.y()));
      move(place.topLeft());
    }
    FillEmpty();
  }
  SetKind(kind_source_ ? kind_source_() : state_.kind);
  std::string folder = ComputerStartFolder();
  if (!folder.empty()) folder_edit_->setText(Text(folder));
  Detect();
  computer_model_->Reread();
}

void QtTransferWindow::SetStatus(const char* text) { status_->setText(QString::fromUtf8(text)); }

void QtTransferWindow::SelectDriveEntry(int drive_index) {
  const QSignalBlocker quiet(drive_combo_);
  drive_combo_->setCurrentIndex(drive_index < 0 ? -1 : drive_combo_->findData('A' + drive_index));
  UpdateDriveToolTip();
}

void QtTransferWindow::UpdateDriveToolTip() {
  // A long path is elided in the box; its tooltip shows it whole.
  drive_combo_->setToolTip(drive_combo_->currentIndex() < 0
                               ? QStringLiteral("The video folder of the PSP's memory stick")
                               : drive_combo_->currentText());
}

void QtTransferWindow::FillDriveList(const DriveTable& drives) {
  state_.rebuilding = true;
  {
    const QSignalBlocker quiet(drive_combo_);
    drive_combo_->clear();
    for (const PspDriveEntry& entry : PspDriveList(drives, state_.kind)) {
      drive_combo_->addItem(FileNameText(entry.text), entry.letter);
      drive_combo_->setItemData(drive_combo_->count() - 1, FileNameText(entry.text),
                                Qt::ToolTipRole);
    }
    drive_combo_->setPlaceholderText(drives.drives().empty()
                                         ? QStringLiteral("No removable volume is mounted")
                                         : QStringLiteral("Choose the PSP drive"));
  }
  SelectDriveEntry(state_.drive_index);
  state_.rebuilding = false;
}

void QtTransferWindow::ApplyFilter() {
  computer_model_->SetFilter(state_.kind, state_.hide_thumbnails);
  psp_model_->SetFilter(state_.kind, state_.hide_thumbnails);
}

void QtTransferWindow::UpdateUnlistedNote() {
  const QString note =
      FileNameText(UnlistedVideosNote(computer_model_->unlisted_videos(), state_.kind));
  if (note == unlisted_note_->text() && unlisted_note_->isVisibleTo(this) == !note.isEmpty())
    return;
  unlisted_note_->setText(note);
  unlisted_note_->setVisible(!note.isEmpty());
  LayOut();
}

void QtTransferWindow::Detect() {
  const DriveTable drives = DriveTable::Load();
  DetectionOutcome outcome = RunDetection(&state_, drives);
  FillDriveList(drives);
  SetStatus(outcome.status);
  if (outcome.letter < 0) {
    FillEmpty();
    chart_->ShowNone();
    return;
  }
  DriveChanged();
  FillPie();
}

void QtTransferWindow::DriveChanged() {
  if (!isVisible() || state_.rebuilding) return;
  DriveChange change = ResolveDriveChange(&state_, DriveTable::Load());
  // A drive that is not there any more has lost its selection.
  if (drive_combo_->currentIndex() != state_.drive_index) SelectDriveEntry(state_.drive_index);
  switch (change.action) {
    case DriveChangeAction::kShowFolder: {
      // A stick that was only just put in may not answer at once.
      bool shown = false;
      for (int attempt = 0; attempt < 3 && !shown; ++attempt)
        shown = psp_model_->SetFolder(change.folder);
      if (!shown) SetStatus(kStatusPspNotDetected);
      break;
    }
    case DriveChangeAction::kShowPlaceholder:
      FillEmpty();
      chart_->ShowNone();
      break;
    case DriveChangeAction::kNothing: break;
  }
}

void QtTransferWindow::SetKind(PspVideoKind kind) {
  state_.kind = kind;
  (kind == PspVideoKind::kAvc ? h264_radio_ : mpeg4_radio_)->setChecked(true);
  Rebuild();
}

void QtTransferWindow::Rebuild() {
  FillDriveList(DriveTable::Load());
  ApplyFilter();
  ApplyFolderEdit();
  DriveChanged();
}

void QtTransferWindow::ApplyFolderEdit() { computer_model_->SetFolder(Text(folder_edit_->text())); }

void QtTransferWindow::HideThumbnailsClicked() {
  state_.hide_thumbnails = hide_thumbnails_->isChecked();
  ApplyFilter();
  ApplyFolderEdit();
  // The PSP list shows the thumbnails, or not, even when the drive change
  // below leaves it alone.
  psp_model_->Reread();
  DriveChanged();
}

void QtTransferWindow::FillEmpty() {
  // Without the placeholder folder the list shows nothing rather than the
  // folder of a PSP that is gone.
  if (!psp_model_->SetFolder(PlaceholderFolder())) psp_model_->ShowNothing();
  WatchFolders();
}

void QtTransferWindow::FillPie() {
  // The space of the drive whose folder the PSP list shows.
  if (state_.chosen_letter() < 0) return;
  chart_->ShowSpace(PspSpaceFigures(state_.chosen_letter(), psp_model_->FilePaths()));
}

void QtTransferWindow::Transfer(FileListView* from, FileListView* to) {
  std::vector<std::string> selected = from->SelectedFiles();
  if (selected.empty()) return;
  const bool to_psp = to == psp_list_;
  std::string target =
      to_psp ? PspVideoFolder(state_.chosen_letter(), state_.kind) : computer_model_->folder();
  if (target.empty()) return;
  {
    CopyProgressWindow progress(this);
    TransferFiles(selected, state_.hide_thumbnails, target, progress.Callback());
  }
  to->fileModel()->Reread();
  if (to_psp) FillPie();
}

void QtTransferWindow::DeleteButtonClicked() {
  FileListView* list = computer_list_->hasFocus() ? computer_list_
                       : psp_list_->hasFocus()    ? psp_list_
                                                  : nullptr;
  if (!list) return;
  std::vector<std::string> selected = list->SelectedFiles();
  if (selected.empty()) return;
  if (ShowMessageBox(kDeleteSelectedQuestion, MessageKind::kConfirmation, kButtonsYesNo) !=
      kButtonYes)
    return;
  DeleteFiles(CollectSelection(selected, state_.hide_thumbnails, kTransferListLimit),
              /*ask_first=*/false);
  list->fileModel()->Reread();
  if (list == psp_list_) FillPie();
}

void QtTransferWindow::QuickDelete(FileListView* list) {
  std::vector<std::string> selected = list->SelectedFiles();
  if (selected.empty()) return;
  DeleteFiles(CollectSelection(selected, false, kQuickDeleteListLimit), /*ask_first=*/true);
  list->fileModel()->Reread();
  if (list == psp_list_) FillPie();
}

void QtTransferWindow::Refresh() {
  computer_model_->Reread();
  psp_model_->Reread();
  FillPie();
}

void QtTransferWindow::UpdateTitleEdit(FileListView* list) {
  const int row = list->SelectedItemRow();
  const std::string path = row >= 0 ? list->fileModel()->entry(row).path : std::string();
  TitleEditorState editor = TitleEditorForSelection(row, path, list->fileModel()->titles());
  for (QWidget* control : std::initializer_list<QWidget*>{
           file_name_caption_, file_name_, title_caption_, title_edit_, title_apply_})
    control->setEnabled(editor.enabled);
  if (!editor.enabled) {
    title_edit_->clear();
    file_name_->clear();
    title_path_.clear();
    title_list_ = nullptr;
    return;
  }
  title_path_ = editor.path;
  title_list_ = list;
  file_name_->setText(FileNameText(editor.file_name));
  // The title the list shows for the file (read now when its row was never
  // painted).
  title_edit_->setText(Text(list->fileModel()->Title(editor.path)));
}

void QtTransferWindow::ListReread(FileListView* list) {
  if (list != title_list_) return;
  const int row = list->SelectedItemRow();
  // Still editing the same file: keep what the user typed.
  if (row >= 0 && list->fileModel()->entry(row).path == title_path_) return;
  UpdateTitleEdit(list);
}

void QtTransferWindow::ChangeTitleClicked() {
  if (title_path_.empty() || !title_list_) return;
  const std::string path = title_path_;
  FileListView* list = title_list_;
  Mp4TitleStatus status = WriteMp4Title(path, Utf8ToUtf16(Text(title_edit_->text())));
  if (status != Mp4TitleStatus::kOk) {
    char text[1400];
    std::snprintf(text, sizeof text, "The title of \"%s\" could not be changed: %s.",
                  path.substr(path.rfind('/') + 1).c_str(), Mp4TitleStatusText(status));
    ShowMessageBox(text, MessageKind::kWarning, kButtonOk);
  }
  list->fileModel()->titles().RemoveCache(path);
  list->fileModel()->Reread();
  if (title_path_ == path) title_edit_->setText(Text(list->fileModel()->Title(path)));
}

void QtTransferWindow::OpenItem(FileListView* list, const QModelIndex& index) {
  if (!index.isValid()) return;
  const FileListEntry& entry = list->fileModel()->entry(index.row());
  if (entry.is_folder) {
    if (list == computer_list_) computer_model_->SetFolder(std::string(entry.path));
    return;
  }
  TracePrintf("%s", "open");
  QDesktopServices::openUrl(QUrl::fromLocalFile(FileNameText(entry.path)));
}

void QtTransferWindow::ComputerFolderUp() {
  std::string folder = computer_model_->folder();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty() || folder == "/") return;
  const size_t slash = folder.rfind('/');
  if (slash == std::string::npos) return;
  const std::string parent = slash == 0 ? std::string(1, '/') : folder.substr(0, slash);
  if (computer_model_->SetFolder(parent)) computer_list_->SelectPaths({folder});
}

void QtTransferWindow::BrowseComputerFolder() {
  QString chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("Video Folder"),
                                                     folder_edit_->text());
  if (!chosen.isEmpty()) folder_edit_->setText(chosen);
}

void QtTransferWindow::WatchFolders() {
  if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
  for (FileListModel* model : {computer_model_, psp_model_})
    if (!model->folder().empty()) watcher_->addPath(FileNameText(model->folder()));
}

}  // namespace ovc
