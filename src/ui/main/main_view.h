#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/playback/playback_control.h"
#include "ui/dialogs/finished_recording_presenter.h"

namespace ovc {

// The main window's own controls, as the workflow drives them. The profile
// side, the position bar and the guide have views of their own; the still
// picture and the live video are the PlaybackView share.
class MainView : public PlaybackView {
 public:

  virtual void SetWindowCaption(const std::string& text) = 0;
  // The open file's picture size, frame rate, length and sound, near the
  // preview ("" for none).
  virtual void SetSourceFacts(const std::string& /*text*/) {}
  // OpenDVDButton's caption.
  virtual void SetOpenButtonCaption(const std::string& text) = 0;
  // StartRecordingButton and EncodeMenu: "Convert" or "Pause/Stop".
  virtual void SetConvertCaption(const std::string& text) = 0;
  virtual void EnableConvertButton(bool enabled) = 0;
  // PlayButton, PauseButton and StopButton.
  virtual void EnableTransport(bool enabled) = 0;
  virtual void EnableOutputSettingsMenu(bool enabled) = 0;
  virtual void EnableOpenButton(bool enabled) = 0;
  // popup_SetOutputPath_menu and menu_SetOutputPath.
  virtual void EnableSaveAsCommands(bool enabled) = 0;
  // StartPoint_label and EndPoint_label.
  virtual void ShowRangeLabels(bool visible) = 0;
  // menu_Seperator, menu_Transfer and SaveThumbnailBtn at start-up.
  virtual void ShowTransferCommands(bool visible) = 0;
  // ProgressStatus's caption and ProgressBar's position (0..100).
  virtual void SetProgressStatus(const std::string& text) = 0;
  virtual void SetProgressBar(int position) = 0;
  virtual void Repaint() = 0;
  // The live video inside Panel1: placed at (left, top) with the size
  // given; the still-picture control follows when it is visible.
  virtual void PlaceVideo(int left, int top, int width, int height) = 0;
  // Panel1's inner area (VideoRect): width and height less 2 pixels.
  virtual int VideoPanelWidth() = 0;
  virtual int VideoPanelHeight() = 0;
  // The window's rectangle, for saving and restoring its place.
  virtual void WindowRect(int* left, int* top, int* width, int* height) = 0;
  // Moves the window to (left, top), then wholly onto the screen.
  virtual void MoveWindowOnScreen(int left, int top) = 0;
};

// Cursor shapes the workflow asks for.
enum class CursorShape { kArrow, kHourglass };

// What the main window needs from the toolkit and the outside world.
class MainHost {
 public:
  virtual ~MainHost() = default;

  // Queues a message for the user interface thread. Safe from any thread;
  // returns at once.
  virtual void PostMessage(uint32_t message, intptr_t wparam, intptr_t lparam) = 0;
  // Handles the messages waiting in the queue (window messages included).
  virtual void ProcessPendingMessages() = 0;
  // Waits on the user interface thread (the workflow's fixed short waits).
  virtual void Sleep(int milliseconds) = 0;
  virtual void SetCursor(CursorShape shape) = 0;
  // Runs `work`, which waits for other threads, and returns when it has
  // returned. Those threads may meanwhile need the user interface thread,
  // above all to show a message box and hand them the answer; a host whose
  // message boxes only run on this thread keeps serving them (and the rest
  // of its event queue) until `work` is done. The default runs `work`
  // right here, which suits hosts whose message boxes answer on the thread
  // that asks.
  virtual void RunBlockingWork(const std::function<void()>& work) { work(); }

  // OpenDialog2: the video file to open; false when cancelled.
  virtual bool ChooseVideoFile(const std::string& filter, std::string* path) = 0;
  // SaveDialog: the output file; false when cancelled.
  virtual bool ChooseOutputFile(const std::string& filter, const std::string& default_extension,
                                const std::string& current, std::string* path) = 0;
  // TAskDefaultOutputFolder, modal. Returns the folder text its "OK" hands
  // to OutputFolderEdit (empty when it was closed without a choice).
  virtual std::string AskDefaultOutputFolder() = 0;
  // TOutputSettingDlg, modal or not.
  virtual void ShowOutputSettings(bool modal) = 0;
  // TFinishedRecording, modal: the conversion ended (`outcome`: whether the
  // user stopped it, how much was converted, every part written).
  virtual void ShowFinishedRecording(const std::string& output_path, bool psp,
                                     const ConversionOutcome& outcome) = 0;
  // TTransferForm, not modal.
  virtual void ShowTransferWindow() = 0;
  // Opens a file, folder or address with the default program; false when
  // nothing could be started (the caller tells the user).
  virtual bool OpenWithShell(const std::string& target) = 0;
  // Starts the batch converter beside this program, without waiting.
  virtual void StartBatchConverter() = 0;
  // Minimises the application (after starting the batch converter).
  virtual void Minimise() = 0;
};

}  // namespace ovc
