#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "engine/playback/guide.h"
#include "ui/main/main_presenter.h"
#include "ui/main/main_view.h"
#include "ui/main/message_queue.h"
#include "ui/main/position_bar.h"
#include "ui/main/profile_panel_view.h"

namespace ovc {

// The main window without a screen: every view and host interface of the
// main presenter, keeping what a window would show (captions, enabled
// flags, texts, rows) so that the batch converter and tests can read it.
// Posted messages go to a queue that Run* hands to a message handler on the
// calling thread, the user interface thread; the 500 ms timer fires from
// the same loop. Dialogs are answered by the functions below.
class HeadlessWindow : public MainView,
                       public MainHost,
                       public ProfilePanelView,
                       public ProfilePanelHost,
                       public PositionBarView,
                       public GuideView {
 public:
  using MessageHandler = std::function<bool(uint32_t, intptr_t, intptr_t)>;

  // This window as every part a MainPresenter talks to.
  MainWindowParts parts() { return MainWindowParts::Of(this); }

  // What the dialogs answer.
  std::function<std::string()> ask_default_output_folder = [] { return std::string(); };
  std::function<void(const std::string& path, bool psp)> finished_recording;
  std::function<void(bool modal)> show_output_settings;
  std::function<bool(std::string*)> ask_profile_name = [](std::string*) { return false; };
  std::function<bool(const std::string&)> open_with_shell = [](const std::string&) {
    return false;
  };
  std::function<void(const std::string&)> status_changed;

  // The message handler and the timer; set before messages are run.
  void SetMessageHandler(MessageHandler handler) { handler_ = std::move(handler); }
  void SetTimer(std::function<void()> timer) { timer_ = std::move(timer); }
  // Real waits (the default), or none at all for tests.
  void set_real_sleep(bool real) { real_sleep_ = real; }

  // Handles posted messages and the timer until `done` returns true (checked
  // after each message and timer tick) or `limit` passes. True when done.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

  // --- What the window shows ---
  struct Shown {
    std::string window_caption;
    std::string open_caption;
    std::string convert_caption = "Convert";
    bool convert_enabled = true;
    bool transport_enabled = true;
    bool output_settings_enabled = true;
    bool open_enabled = true;
    bool save_as_enabled = false;
    bool range_labels_visible = false;
    bool transfer_commands_visible = false;
    std::string progress_status;
    int progress_bar = 0;
    std::vector<std::string> profile_items;
    int profile_selection = -1;
    std::vector<ValueRow> time_rows, video_rows, audio_rows;
    std::string mb_per_minute, estimated_size;
    bool save_thumbnail_visible = false;
    std::string output_folder;
    int bar_maximum = 1, bar_low = 0, bar_high = 1;
    std::string time_label, start_label, end_label;
    std::string guide_text;
    int window_left = 0, window_top = 0;
    CursorShape cursor = CursorShape::kArrow;
  };
  const Shown& shown() const { return shown_; }
  // Every message posted so far, oldest first (tests).
  const std::vector<PostedMessage>& posted() const { return posted_log_; }

  // --- MainView ---
  void HideStillPicture() override {}
  void ShowVideoWindow() override {}
  void ShowStillPicture() override {}
  void SetWindowCaption(const std::string& text) override { shown_.window_caption = text; }
  void SetOpenButtonCaption(const std::string& text) override { shown_.open_caption = text; }
  void SetConvertCaption(const std::string& text) override { shown_.convert_caption = text; }
  void EnableConvertButton(bool enabled) override { shown_.convert_enabled = enabled; }
  void EnableTransport(bool enabled) override { shown_.transport_enabled = enabled; }
  void EnableOutputSettingsMenu(bool enabled) override { shown_.output_settings_enabled = enabled; }
  void EnableOpenButton(bool enabled) override { shown_.open_enabled = enabled; }
  void EnableSaveAsCommands(bool enabled) override { shown_.save_as_enabled = enabled; }
  void ShowRangeLabels(bool visible) override { shown_.range_labels_visible = visible; }
  void ShowTransferCommands(bool visible) override { shown_.transfer_commands_visible = visible; }
  void SetProgressStatus(const std::string& text) override;
  void SetProgressBar(int position) override { shown_.progress_bar = position; }
  void Repaint() override {}
  void PlaceVideo(int, int, int, int) override {}
  int VideoPanelWidth() override { return 320; }
  int VideoPanelHeight() override { return 240; }
  void WindowRect(int* left, int* top, int* width, int* height) override;
  void MoveWindowOnScreen(int left, int top) override;

  // --- MainHost ---
  void PostMessage(uint32_t message, intptr_t wparam, intptr_t lparam) override;
  void ProcessPendingMessages() override;
  void Sleep(int milliseconds) override;
  void SetCursor(CursorShape shape) override { shown_.cursor = shape; }
  bool ChooseVideoFile(const std::string&, std::string*) override { return false; }
  bool ChooseOutputFile(const std::string&, const std::string&, const std::string&,
                        std::string*) override {
    return false;
  }
  std::string AskDefaultOutputFolder() override { return ask_default_output_folder(); }
  void ShowOutputSettings(bool modal) override;
  void ShowFinishedRecording(const std::string& output_path, bool psp,
                             const ConversionOutcome& outcome) override;
  // The outcome the last report was shown with.
  const ConversionOutcome& last_outcome() const { return last_outcome_; }
  void ShowTransferWindow() override {}
  bool OpenWithShell(const std::string& target) override { return open_with_shell(target); }
  void StartBatchConverter() override {}
  void Minimise() override {}

  // --- ProfilePanelView ---
  void SetProfileItems(const std::vector<std::string>& names) override;
  void SetProfileSelection(int index) override { shown_.profile_selection = index; }
  void SetTimeRows(const std::vector<ValueRow>& rows) override { shown_.time_rows = rows; }
  void SetVideoRows(const std::vector<ValueRow>& rows) override { shown_.video_rows = rows; }
  void SetAudioRows(const std::vector<ValueRow>& rows) override { shown_.audio_rows = rows; }
  void SetMbPerMinuteText(const std::string& text) override { shown_.mb_per_minute = text; }
  void SetEstimatedSizeText(const std::string& text) override { shown_.estimated_size = text; }
  void SetSaveThumbnailVisible(bool visible) override { shown_.save_thumbnail_visible = visible; }
  void SetOutputFolderText(const std::string& text) override { shown_.output_folder = text; }

  // --- ProfilePanelHost ---
  bool AskProfileName(std::string* name) override { return ask_profile_name(name); }
  bool BrowseForFolder(const std::string&, std::string*) override { return false; }
  void OpenFolder(const std::string& folder) override { open_with_shell(folder); }

  // --- PositionBarView ---
  void SetBarMaximum(int seconds) override { shown_.bar_maximum = seconds; }
  void SetBarLow(int seconds) override { shown_.bar_low = seconds; }
  void SetBarHigh(int seconds) override { shown_.bar_high = seconds; }
  int BarLeft() override { return 0; }
  int BarWidth() override { return 318; }
  void SetTimeLabel(const std::string& text) override { shown_.time_label = text; }
  void SetStartPointCaption(const std::string& text) override { shown_.start_label = text; }
  void SetStartPointLeft(int) override {}
  void BringStartPointToFront() override {}
  int StartPointWidth() override { return 100; }
  void SetEndPointCaption(const std::string& text) override { shown_.end_label = text; }
  void SetEndPointLeft(int) override {}
  void BringEndPointToFront() override {}
  int EndPointWidth() override { return 100; }

  // --- GuideView ---
  int PanelWidth() override { return 320; }
  int LabelWidth(const std::string& text) override { return static_cast<int>(text.size()) * 7; }
  void ShowLabel(const std::string& text, int, uint32_t) override { shown_.guide_text = text; }
  void SetBannerWindowColour() override {}
  void SetBannerColour(uint32_t) override {}
  void PlayBannerAnimation(int) override {}
  void FreezeBanner() override {}
  void RestoreBanner() override {}

 private:
  void Dispatch(const PostedMessage& message);
  void TimerIfDue();

  ConversionOutcome last_outcome_;

  MessageQueue queue_;
  MessageHandler handler_;
  std::function<void()> timer_;
  std::chrono::steady_clock::time_point next_tick_ = std::chrono::steady_clock::now();
  bool real_sleep_ = true;
  Shown shown_;
  std::vector<PostedMessage> posted_log_;
};

}  // namespace ovc
