// The view and host interfaces of QtMainWindow: what the workflow shows and
// asks for, on the window's controls and through Qt's dialogs.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include "common/message_box.h"
#include "common/trace.h"
#include "platform/shell/process.h"
#include "ui/dialogs/qt/qt_finished_recording_dialog.h"
#include "ui/dialogs/qt/qt_gui_thread.h"
#include "ui/dialogs/qt/qt_output_folder_dialog.h"
#include "ui/dialogs/qt/qt_output_settings_dialog.h"
#include "ui/dialogs/qt/qt_save_file_dialog.h"
#include "ui/dialogs/qt/qt_save_profile_dialog.h"
#include "ui/main/qt/eliding_label.h"
#include "ui/main/qt/file_filter.h"
#include "ui/main/qt/guide_banner.h"
#include "ui/main/qt/qt_main_window.h"
#include "ui/main/qt/qt_shell.h"
#include "ui/main/qt/qt_video_surface.h"
#include "ui/main/qt/range_bar.h"
#include "ui/main/qt/still_picture_widget.h"
#include "ui/main/qt/value_list_editor.h"

namespace ovc {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

// --- MainView ---

void QtMainWindow::HideStillPicture() { still_->hide(); }

void QtMainWindow::ShowVideoWindow() {
  video_->show();
  video_->update();
}

void QtMainWindow::ShowStillPicture() {
  // Only a stopped or paused preview shows the still picture. Not while a
  // conversion runs: reading the picture takes the capture lock, which a
  // capture callback may hold until the encoders catch up or the user has
  // answered its question, and the video window shows the latest converted
  // picture anyway.
  if (!presenter_ || presenter_->playback().state() == kRunning || presenter_->converting())
    return;
  const Bitmap24 picture = presenter_->capture().StillPicture();
  if (picture.empty()) return;
  still_->SetPicture(picture, presenter_->crop());
  still_->setGeometry(video_->geometry());
  still_->show();
  still_->raise();
}

void QtMainWindow::SetWindowCaption(const std::string& text) { setWindowTitle(Q(text)); }

void QtMainWindow::SetSourceFacts(const std::string& text) {
  source_facts_->setText(Q(text));
  source_facts_->setToolTip(Q(text));
}

void QtMainWindow::SetOpenButtonCaption(const std::string& text) { open_button_->setText(Q(text)); }

void QtMainWindow::SetConvertCaption(const std::string& text) {
  convert_->setText(Q(text));
  encode_menu_->setText(Q(text));
}

void QtMainWindow::EnableConvertButton(bool enabled) { convert_->setEnabled(enabled); }

void QtMainWindow::EnableTransport(bool enabled) {
  play_->setEnabled(enabled);
  pause_->setEnabled(enabled);
  stop_->setEnabled(enabled);
}

void QtMainWindow::EnableOutputSettingsMenu(bool enabled) {
  menu_output_setting_->setEnabled(enabled);
}

void QtMainWindow::EnableOpenButton(bool enabled) {
  // The workflow disables the source button exactly while a conversion
  // runs (both passes).
  open_button_->setEnabled(enabled);
  conversion_locked_ = !enabled;
  ApplyConversionLock();
}

void QtMainWindow::EnableSaveAsCommands(bool enabled) {
  save_as_allowed_ = enabled;
  ApplyConversionLock();
}

void QtMainWindow::ApplyConversionLock() {
  const bool free = !conversion_locked_;
  menu_open_->setEnabled(free);
  popup_save_as_->setEnabled(save_as_allowed_ && free);
  menu_save_as_->setEnabled(save_as_allowed_ && free);
  for (QWidget* control :
       std::initializer_list<QWidget*>{bar_, profile_combo_, time_list_, video_list_, audio_list_,
                                       save_profile_, more_options_, output_folder_, browse_})
    control->setEnabled(free);
}

void QtMainWindow::ShowRangeLabels(bool visible) {
  start_label_->setVisible(visible);
  end_label_->setVisible(visible);
}

void QtMainWindow::ShowTransferCommands(bool visible) {
  // The transfer command is offered only when there is a window for it.
  const bool transfer = visible && static_cast<bool>(options_.transfer_window);
  menu_separator_->setVisible(transfer);
  menu_transfer_->setVisible(transfer);
  save_thumbnail_->setVisible(visible);
}

void QtMainWindow::SetProgressStatus(const std::string& text) {
  progress_status_->SetFullText(Q(text));
  source_facts_->setVisible(text.empty());
}

void QtMainWindow::SetProgressBar(int position) { progress_bar_->setValue(position); }

void QtMainWindow::Repaint() { update(); }

void QtMainWindow::PlaceVideo(int left, int top, int width, int height) {
  video_->setGeometry(left, top, width, height);
  if (still_->isVisible()) {
    still_->setGeometry(video_->geometry());
    still_->update();
  }
}

int QtMainWindow::VideoPanelWidth() { return panel_->width() - 2; }

int QtMainWindow::VideoPanelHeight() { return panel_->height() - 2; }

void QtMainWindow::WindowRect(int* left, int* top, int* width, int* height) {
  *left = x();
  *top = y();
  *width = this->width();
  *height = this->height();
}

void QtMainWindow::MoveWindowOnScreen(int left, int top) {
  move(left, top);
  QScreen* screen = QGuiApplication::screenAt(QPoint(left, top));
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  // Wholly on the screen: the frame's far edges first, then its near ones,
  // so a window larger than the screen keeps its top left corner visible.
  const QRect area = screen->availableGeometry();
  QRect frame = frameGeometry();
  if (frame.right() > area.right()) frame.moveRight(area.right());
  if (frame.bottom() > area.bottom()) frame.moveBottom(area.bottom());
  if (frame.left() < area.left()) frame.moveLeft(area.left());
  if (frame.top() < area.top()) frame.moveTop(area.top());
  move(frame.topLeft());
}

// --- MainHost ---

void QtMainWindow::ProcessPendingMessages() {
  // The workflow pumps while it waits; the user's clicks wait until it is
  // done, so no command starts in the middle of another.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtMainWindow::Sleep(int milliseconds) {
  if (milliseconds <= 0) {
    ProcessPendingMessages();
    return;
  }
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void QtMainWindow::SetCursor(CursorShape shape) {
  const bool busy = shape == CursorShape::kHourglass;
  if (busy == busy_cursor_) return;
  busy_cursor_ = busy;
  if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
  else QApplication::restoreOverrideCursor();
}

void QtMainWindow::RunBlockingWork(const std::function<void()>& work) {
  RunProcessingEvents(work);
}

bool QtMainWindow::ChooseVideoFile(const std::string& filter, std::string* path) {
  QFileDialog dialog(this, "Open Video File");
  dialog.setObjectName("OpenDialog2");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilter(Q(OpenDialogNameFilters(filter)));
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (!presenter_->source_path().empty())
    dialog.setDirectory(QFileInfo(Q(presenter_->source_path())).absolutePath());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  *path = dialog.selectedFiles().first().toStdString();
  return true;
}

bool QtMainWindow::ChooseOutputFile(const std::string& filter, const std::string& default_extension,
                                    const std::string& current, std::string* path) {
  // It does not ask before overwriting: the conversion asks when it starts.
  QtSaveFileDialog dialog(this);
  return dialog.Run(SaveFileRequest{filter, default_extension, current}, path);
}

std::string QtMainWindow::AskDefaultOutputFolder() {
  return output_folder_dialog_->Ask(presenter_->profiles().psp());
}

void QtMainWindow::ShowOutputSettings(bool modal) { output_settings_->ShowDialog(modal); }

void QtMainWindow::ShowFinishedRecording(const std::string& output_path, bool psp,
                                         const ConversionOutcome& outcome) {
  finished_->ShowFor(output_path, psp, outcome);
}

void QtMainWindow::ShowTransferWindow() {
  if (!options_.transfer_window) return;
  if (!transfer_) transfer_ = options_.transfer_window(this);
  if (!transfer_) return;
  transfer_->show();
  transfer_->raise();
  transfer_->activateWindow();
}

bool QtMainWindow::OpenWithShell(const std::string& target) { return shell_->Open(target); }

void QtMainWindow::StartBatchConverter() {
  std::string program = options_.batch_program;
  if (program.empty())
    program = (QCoreApplication::applicationDirPath() + "/multiconv").toStdString();
  if (!StartDetached({program})) TracePrintf("Cannot start %s", program.c_str());
}

void QtMainWindow::Minimise() { showMinimized(); }

// --- ProfilePanelView ---

void QtMainWindow::SetProfileItems(const std::vector<std::string>& names) {
  QSignalBlocker block(profile_combo_);
  profile_combo_->clear();
  for (const std::string& name : names) profile_combo_->addItem(Q(name));
  profile_combo_->setCurrentIndex(-1);
}

void QtMainWindow::SetProfileSelection(int index) {
  QSignalBlocker block(profile_combo_);
  profile_combo_->setCurrentIndex(index);
}

void QtMainWindow::SetTimeRows(const std::vector<ValueRow>& rows) {
  // Playback moves the start point every second; what the user is typing
  // there wins, and is handed on when the editor closes.
  if (time_list_->editing() && presenter_ && presenter_->playback().state() == kRunning) return;
  time_list_->SetRows(rows);
}

void QtMainWindow::SetVideoRows(const std::vector<ValueRow>& rows) { video_list_->SetRows(rows); }

void QtMainWindow::SetAudioRows(const std::vector<ValueRow>& rows) { audio_list_->SetRows(rows); }

void QtMainWindow::SetMbPerMinuteText(const std::string& text) { mb_per_minute_->setText(Q(text)); }

void QtMainWindow::SetEstimatedSizeText(const std::string& text) {
  estimated_size_->setText(Q(text));
}

void QtMainWindow::SetSaveThumbnailVisible(bool visible) { save_thumbnail_->setVisible(visible); }

void QtMainWindow::SetOutputFolderText(const std::string& text) {
  // setText does not raise textEdited, which only the user's typing does.
  output_folder_->setText(Q(text));
}

// --- ProfilePanelHost ---

bool QtMainWindow::AskProfileName(std::string* name) { return save_profile_dialog_->Ask(name); }

bool QtMainWindow::BrowseForFolder(const std::string& title, std::string* folder) {
  const QString chosen = QFileDialog::getExistingDirectory(
      this, Q(title), Q(*folder), QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
  if (chosen.isEmpty()) return false;
  *folder = chosen.toStdString();
  return true;
}

void QtMainWindow::OpenFolder(const std::string& folder) {
  if (shell_->Open(folder)) return;
  ShowMessageBox("No file manager is set up on this computer to open\n" + folder,
                 MessageKind::kWarning, kButtonOk);
}

// --- PositionBarView ---

void QtMainWindow::SetBarMaximum(int seconds) { bar_->SetMaximum(seconds); }

void QtMainWindow::SetOutputFileName(const std::string& name) {
  output_file_->setText(name.empty() ? QString() : "File name: " + Q(name));
  output_file_->setToolTip(Q(presenter_ ? presenter_->output_path() : name));
}

void QtMainWindow::SetBarLow(int seconds) { bar_->SetLow(seconds); }

void QtMainWindow::SetBarHigh(int seconds) {
  bar_->SetHigh(seconds);
  // The stop point's handle, once a file gives the bar a length.
  bar_->SetHighThumbVisible(presenter_ && presenter_->source_readiness() != SourceState::kNone);
}

int QtMainWindow::BarLeft() { return bar_->x(); }

int QtMainWindow::BarWidth() { return bar_->width(); }

void QtMainWindow::SetLabelText(QLabel* label, const std::string& text) {
  label->setText(Q(text));
  label->resize(label->sizeHint().width(), label->height());
}

void QtMainWindow::SetTimeLabel(const std::string& text) {
  SetLabelText(time_label_, text);
  LayOutPositionArea();
}

void QtMainWindow::SetStartPointCaption(const std::string& text) { SetLabelText(start_label_, text); }

void QtMainWindow::SetStartPointLeft(int left) { start_label_->move(left, start_label_->y()); }

void QtMainWindow::BringStartPointToFront() { start_label_->raise(); }

int QtMainWindow::StartPointWidth() { return start_label_->width(); }

void QtMainWindow::SetEndPointCaption(const std::string& text) { SetLabelText(end_label_, text); }

void QtMainWindow::SetEndPointLeft(int left) { end_label_->move(left, end_label_->y()); }

void QtMainWindow::BringEndPointToFront() { end_label_->raise(); }

int QtMainWindow::EndPointWidth() { return end_label_->width(); }

// --- GuideView ---

int QtMainWindow::PanelWidth() { return panel_->width(); }

int QtMainWindow::LabelWidth(const std::string& text) { return banner_->WidthFor(Q(text)); }

void QtMainWindow::ShowLabel(const std::string& text, int left, uint32_t font_colour) {
  banner_->setText(Q(text));
  banner_->SetTextColour(ColourFromBgr(font_colour));
  banner_->resize(banner_->WidthFor(Q(text)), banner_->height());
  banner_->move(std::max(left, 0), kBannerTop);
  banner_->show();
  banner_->raise();
}

void QtMainWindow::SetBannerWindowColour() { banner_->SetBackground(QColor()); }

void QtMainWindow::SetBannerColour(uint32_t colour) {
  banner_->SetBackground(ColourFromBgr(colour));
}

void QtMainWindow::PlayBannerAnimation(int which) {
  // The first animation brings the recording colour in from the window
  // colour; the second goes on to the colour set meanwhile.
  if (which == 1)
    banner_->Fade(palette().color(QPalette::Window), ColourFromBgr(kGuideRecordingColour));
  else
    banner_->Fade(banner_->shown_background(), banner_->background());
}

void QtMainWindow::FreezeBanner() { banner_->Freeze(); }

void QtMainWindow::RestoreBanner() { banner_->Restore(); }

}  // namespace ovc
