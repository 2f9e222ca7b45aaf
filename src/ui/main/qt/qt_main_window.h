#pragma once

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/playback/guide.h"
#include "ui/main/main_presenter.h"
#include "ui/main/main_view.h"
#include "ui/main/position_bar.h"
#include "ui/main/profile_panel_view.h"

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;

namespace ovc {

class DBusScreenSaver;
class ElidingLabel;
class GuideBanner;
class LogindPowerControl;
class QtAudioSink;
class QtFinishedRecordingDialog;
class QtMissingCodecDialog;
class QtOutputFolderDialog;
class QtOutputSettingsDialog;
class QtSaveProfileDialog;
class QtShell;
class RangeBar;
class StillPictureWidget;
class ValueListEditor;
class VideoWidget;

struct QtMainWindowOptions {
  // Processors, the folder the start-up registry files come from, the
  // playback helpers' time-outs.
  MainWindowOptions presenter;
  // The batch converter to start; "" is "multiconv" beside this program.
  std::string batch_program;
  // False leaves the preview silent (no sound device is opened).
  bool preview_sound = true;
  // Makes the PSP transfer window (not modal), or is empty when the program
  // has none; "PSP Video Transfer" is offered only when it is set.
  std::function<QWidget*(QWidget* parent)> transfer_window;
};

// The main window, "Orvane Video Converter Zezivovi": the Qt face of the
// main window's workflow. It owns the MainPresenter and implements every
// view and host the presenter works with; its controls carry the object
// names the workflow knows them by (Panel1, PositionRangeBar, ProfileCombo,
// StartRecordingButton, …).
//
// Start-up runs in the constructor (FormCreate); the first show restores
// the stored window position (FormActivate); closing asks before stopping
// a running conversion and is cancelled when the user keeps it going
// (FormClose). Messages that other threads post reach the presenter on the
// GUI thread; the 500 ms timer drives PerformanceMonitorTimer.
class QtMainWindow : public QMainWindow,
                     public MainView,
                     public MainHost,
                     public ProfilePanelView,
                     public ProfilePanelHost,
                     public PositionBarView,
                     public GuideView {
  Q_OBJECT

 public:
  explicit QtMainWindow(const QtMainWindowOptions& options = {}, QWidget* parent = nullptr);
  ~QtMainWindow() override;

  MainPresenter& presenter() { return *presenter_; }

  // Opens and plays a file as "Open File ..." does once a file is chosen.
  void OpenVideoFile(const std::string& path);

  // The dialogs, created once at start-up (tests and the screenshot tour).
  QtOutputSettingsDialog* output_settings_dialog() { return output_settings_; }
  QtMissingCodecDialog* missing_codec_dialog() { return missing_codec_; }
  QMenu* open_menu() { return open_menu_; }
  // The transfer window once it was opened, else null.
  QWidget* transfer_window() { return transfer_; }

  // --- MainView ---
  void HideStillPicture() override;
  void ShowVideoWindow() override;
  void ShowStillPicture() override;
  void SetWindowCaption(const std::string& text) override;
  void SetSourceFacts(const std::string& text) override;
  void SetOpenButtonCaption(const std::string& text) override;
  void SetConvertCaption(const std::string& text) override;
  void EnableConvertButton(bool enabled) override;
  void EnableTransport(bool enabled) override;
  void EnableOutputSettingsMenu(bool enabled) override;
  void EnableOpenButton(bool enabled) override;
  void EnableSaveAsCommands(bool enabled) override;
  void ShowRangeLabels(bool visible) override;
  void ShowTransferCommands(bool visible) override;
  void SetProgressStatus(const std::string& text) override;
  void SetProgressBar(int position) override;
  void Repaint() override;
  void PlaceVideo(int left, int top, int width, int height) override;
  int VideoPanelWidth() override;
  int VideoPanelHeight() override;
  void WindowRect(int* left, int* top, int* width, int* height) override;
  void MoveWindowOnScreen(int left, int top) override;

  // --- MainHost ---
  void PostMessage(uint32_t message, intptr_t wparam, intptr_t lparam) override;
  void ProcessPendingMessages() override;
  void Sleep(int milliseconds) override;
  void SetCursor(CursorShape shape) override;
  // Keeps the event loop going (RunProcessingEvents), so that a thread the
  // work waits for can have its message box answered.
  void RunBlockingWork(const std::function<void()>& work) override;
  bool ChooseVideoFile(const std::string& filter, std::string* path) override;
  bool ChooseOutputFile(const std::string& filter, const std::string& default_extension,
                        const std::string& current, std::string* path) override;
  std::string AskDefaultOutputFolder() override;
  void ShowOutputSettings(bool modal) override;
  void ShowFinishedRecording(const std::string& output_path, bool psp,
                             const ConversionOutcome& outcome) override;
  void ShowTransferWindow() override;
  bool OpenWithShell(const std::string& target) override;
  void StartBatchConverter() override;
  void Minimise() override;

  // --- ProfilePanelView ---
  void SetProfileItems(const std::vector<std::string>& names) override;
  void SetProfileSelection(int index) override;
  void SetTimeRows(const std::vector<ValueRow>& rows) override;
  void SetVideoRows(const std::vector<ValueRow>& rows) override;
  void SetAudioRows(const std::vector<ValueRow>& rows) override;
  void SetMbPerMinuteText(const std::string& text) override;
  void SetEstimatedSizeText(const std::string& text) override;
  void SetSaveThumbnailVisible(bool visible) override;
  void SetOutputFolderText(const std::string& text) override;
  void SetOutputFileName(const std::string& name) override;

  // --- ProfilePanelHost ---
  bool AskProfileName(std::string* name) override;
  bool BrowseForFolder(const std::string& title, std::string* folder) override;
  void OpenFolder(const std::string& folder) override;

  // --- PositionBarView ---
  void SetBarMaximum(int seconds) override;
  void SetBarLow(int seconds) override;
  void SetBarHigh(int seconds) override;
  int BarLeft() override;
  int BarWidth() override;
  void SetTimeLabel(const std::string& text) override;
  void SetStartPointCaption(const std::string& text) override;
  void SetStartPointLeft(int left) override;
  void BringStartPointToFront() override;
  int StartPointWidth() override;
  void SetEndPointCaption(const std::string& text) override;
  void SetEndPointLeft(int left) override;
  void BringEndPointToFront() override;
  int EndPointWidth() override;

  // --- GuideView ---
  int PanelWidth() override;
  int LabelWidth(const std::string& text) override;
  void ShowLabel(const std::string& text, int left, uint32_t font_colour) override;
  void SetBannerWindowColour() override;
  void SetBannerColour(uint32_t colour) override;
  void PlayBannerAnimation(int which) override;
  void FreezeBanner() override;
  void RestoreBanner() override;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // The guide banner's distance from Panel1's top edge, in pixels.
  static constexpr int kBannerTop = 6;

  void BuildMenus();
  void BuildControls();
  void ConnectControls();
  void CreateDialogs();
  // Panel1 changed size: the live video and the paused picture follow.
  void LayOutVideoPanel();
  // The position area changed size: the bar and its labels follow.
  void LayOutPositionArea();
  void SetLabelText(QLabel* label, const std::string& text);
  // While a conversion runs, the controls that would change it under its
  // feet (the source, the profile and its values, the output file and
  // folder, the position) take no input.
  void ApplyConversionLock();

  QtMainWindowOptions options_;

  // --- Controls (owned by Qt's parent chain) ---
  QFrame* panel_ = nullptr;             // Panel1
  QWidget* video_area_ = nullptr;       // VideoRect inside Panel1
  VideoWidget* video_ = nullptr;        // the live video window
  StillPictureWidget* still_ = nullptr; // PausedScreenPanel's image
  GuideBanner* banner_ = nullptr;       // TopStatusLabel
  QWidget* position_area_ = nullptr;
  RangeBar* bar_ = nullptr;             // PositionRangeBar
  QLabel* time_label_ = nullptr;        // TimeLabel
  QLabel* start_label_ = nullptr;       // StartPoint_label
  QLabel* end_label_ = nullptr;         // EndPoint_label
  QPushButton* play_ = nullptr;
  QPushButton* pause_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* open_button_ = nullptr;  // OpenDVDButton
  QLabel* source_facts_ = nullptr;      // SourceFactsLabel
  QMenu* open_menu_ = nullptr;          // TePopupMenu1
  QComboBox* profile_combo_ = nullptr;
  ValueListEditor* time_list_ = nullptr;
  ValueListEditor* video_list_ = nullptr;
  ValueListEditor* audio_list_ = nullptr;
  QPushButton* save_profile_ = nullptr;
  QPushButton* more_options_ = nullptr;
  QPushButton* save_thumbnail_ = nullptr;
  QLabel* mb_per_minute_ = nullptr;
  QLabel* estimated_size_ = nullptr;
  QLineEdit* output_folder_ = nullptr;
  QLabel* output_file_ = nullptr;       // OutputFileLabel
  QPushButton* browse_ = nullptr;
  QPushButton* show_output_folder_ = nullptr;
  QPushButton* convert_ = nullptr;      // StartRecordingButton
  ElidingLabel* progress_status_ = nullptr;
  QProgressBar* progress_bar_ = nullptr;

  QAction* popup_open_file_ = nullptr;
  QAction* popup_batch_ = nullptr;
  QAction* popup_save_as_ = nullptr;
  QAction* menu_open_ = nullptr;
  QAction* menu_save_as_ = nullptr;
  QAction* encode_menu_ = nullptr;
  QAction* exit_menu_ = nullptr;
  QAction* menu_output_setting_ = nullptr;
  QAction* menu_separator_ = nullptr;
  QAction* menu_transfer_ = nullptr;
  QAction* manual_ = nullptr;
  QAction* website_ = nullptr;

  // --- Services; these outlive the presenter, which is destroyed first ---
  std::unique_ptr<QtShell> shell_;
  std::unique_ptr<LogindPowerControl> power_;
  std::unique_ptr<DBusScreenSaver> screen_saver_;
  std::shared_ptr<QtAudioSink> sink_;
  QtMissingCodecDialog* missing_codec_ = nullptr;
  QtOutputSettingsDialog* output_settings_ = nullptr;
  QtOutputFolderDialog* output_folder_dialog_ = nullptr;
  QtFinishedRecordingDialog* finished_ = nullptr;
  QtSaveProfileDialog* save_profile_dialog_ = nullptr;
  QWidget* transfer_ = nullptr;

  std::unique_ptr<MainPresenter> presenter_;
  QTimer performance_monitor_;
  bool save_as_allowed_ = false;   // a source was opened
  bool conversion_locked_ = false;
  bool activated_ = false;
  bool closed_ = false;
  bool busy_cursor_ = false;
};

}  // namespace ovc
