#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/message_box.h"
#include "engine/playback/capture_host.h"
#include "engine/playback/capture_stage.h"
#include "engine/playback/crop_rect.h"
#include "engine/playback/graph_events.h"
#include "engine/playback/guide.h"
#include "engine/playback/playback_control.h"
#include "engine/playback/playback_graph.h"
#include "engine/playback/recording_clock.h"
#include "engine/playback/recording_target.h"
#include "engine/playback/screen_saver.h"
#include "engine/record/format_output_factory.h"
#include "engine/record/output_config.h"
#include "engine/record/recording_session.h"
#include "ui/main/cpu_load.h"
#include "ui/main/elapsed_clock.h"
#include "ui/main/main_view.h"
#include "ui/main/position_bar.h"
#include "ui/main/profile_panel.h"
#include "ui/main/speed_regulation.h"
#include "ui/main/startup.h"

namespace ovc {

// The views and outside services the main window works with. None owned;
// all must outlive the presenter.
struct MainWindowParts {
  MainView* view = nullptr;  // also the preview's still-picture view
  MainHost* host = nullptr;
  ProfilePanelView* profile_view = nullptr;
  ProfilePanelHost* profile_host = nullptr;
  PositionBarView* bar_view = nullptr;
  GuideView* guide_view = nullptr;
  ScreenSaverControl* screen_saver = nullptr;  // null: none
  MissingCodecPrompt* missing_codec = nullptr;  // null: none
  // Where the preview draws and plays; null for none.
  std::shared_ptr<media::VideoSurface> preview_surface;
  std::shared_ptr<media::AudioSink> preview_sink;

  // A window that is every view and host itself; the services stay unset.
  template <typename Window>
  static MainWindowParts Of(Window* window) {
    MainWindowParts parts;
    parts.view = window;
    parts.host = window;
    parts.profile_view = window;
    parts.profile_host = window;
    parts.bar_view = window;
    parts.guide_view = window;
    return parts;
  }
};

// Start-up choices that tests and the batch converter make.
struct MainWindowOptions {
  // 0: as many as the machine has.
  int processors = 0;
  // Where "codec.reg" and "url.reg" are imported from ("" = the working
  // directory at construction).
  std::string start_folder;
  // Helper-thread time-outs of the preview control (tests shorten them).
  PlaybackControl::Timeouts playback_timeouts;
  // The window runs inside the batch tool (multiconv): no question about
  // the output folder, which the command line sets.
  bool in_batch_tool = false;
  // Set from any thread (a signal handler): ends the wait for a file being
  // opened. May be null.
  const std::atomic<bool>* interrupt = nullptr;
  // Milliseconds of a monotonic clock for Elapsed; null: the machine's.
  std::function<uint32_t()> ticks;
};

// Output settings the batch converter's command line sets for its run; an
// empty field keeps the stored setting.
struct OutputOverrides {
  std::optional<int> passes;            // 1 or 2
  std::optional<int> split_mb;          // > 0
  std::optional<int> volume;            // 1..9
  std::optional<int> brightness_level;  // 0..3
};

// The main window's workflow, free of the toolkit: start-up and closing,
// opening a file, the Convert command with its one or two passes, progress
// and the stop point, the transport buttons, the commands and the messages
// other threads post. Runs on the user interface thread; the capture stage
// and the graph reach it only through posted messages.
//
//   idle, no source --OpenVideoFile--> ready --Convert--> recording pass 1
//   recording pass 1 of 2 --StopRecording--> recording pass 2
//   recording (last pass) --StopRecording--> finished dialog --> ready
class MainPresenter : private PlaybackGraphHost,
                      private CaptureHost,
                      private GraphEventHost,
                      private PositionBarHost {
 public:
  MainPresenter(const MainWindowParts& parts, const MainWindowOptions& options = {});
  ~MainPresenter() override;
  MainPresenter(const MainPresenter&) = delete;
  MainPresenter& operator=(const MainPresenter&) = delete;

  // --- Start-up and closing ---
  void FormCreate();
  // The first activation restores the stored window position.
  void FormActivate();
  // Returns false when the user kept a running conversion going.
  bool FormClose();

  // --- Commands ---
  // "Open File ...": asks for a file, then opens it.
  void OpenFileCommand();
  // Opens and plays a video file. 0, or the failing code of the build.
  int32_t OpenVideoFile(const std::string& path);
  // "Convert" / "Pause/Stop" and "Record it".
  void StartRecordingButtonClick();
  bool StartRecording();
  // Ends the running pass: stops the producers and finishes the file, then
  // starts the second pass, or shows how the conversion ended on the status
  // line (the whole range as done unless the user stopped it early: then
  // the figures it reached) and the report.
  void StopRecording() override;
  void PlayButtonClick();
  void PauseButtonClick();
  void StopButtonClick();
  // "Save as ...": the output file.
  void SetOutputPathCommand();
  // The user typed or chose `typed` as the output file (a bare name is in
  // the folder shown): it becomes the output's name in that folder, with the
  // container's extension added when missing. "" changes nothing.
  void ChooseOutputPath(const std::string& typed);
  void OutputSettingsCommand();   // not modal
  void MoreOptionsBtnClick();     // modal
  void TransferCommand();
  void ManualCommand();
  void WebsiteCommand();
  void BatchConvertCommand();
  // "Save the current frame as video thumbnail": the picture on screen as
  // the PSP's thumbnail beside the output (PSP outputs only). 0, or -1.
  int SaveThumbnailBtnClick();
  // The Thumbnail button: SaveThumbnailBtnClick, and between conversions
  // the user is told where the thumbnail went and which video it is for
  // (or that it could not be written).
  void ThumbnailCommand();

  // --- Timer and messages ---
  // The 500 ms timer.
  void PerformanceMonitorTimer();
  // Handles one posted message; false for a message the window's default
  // handling should take.
  bool HandleMessage(uint32_t message, intptr_t wparam, intptr_t lparam);
  // WM_PROGRESS: refreshes the status line and the progress bar. `lparam`
  // -1 is the end message of a pass; it shows the whole range as done,
  // unless the end was shown already or another pass runs (see
  // StopRecording).
  void UpdateProgress(intptr_t wparam, intptr_t lparam);

  // --- The batch converter's operations ---
  // The output folder dialog's first choice, taken without a screen: the
  // output moves to the desktop movie folder, created when missing. Returns
  // the folder the output folder edit shows.
  std::string ChooseDesktopMovieFolder();
  // Applies the run's `overrides` to the output settings.
  void OverrideOutput(const OutputOverrides& overrides);
  // Stops the running conversion at once, in either pass, as "Pause/Stop"
  // does: what was written is kept and no second pass follows.
  void StopConversionKeepingOutput();
  // The media seconds the running (or last) pass has recorded.
  double recorded_seconds() const { return RecordedSeconds(); }
  // The running (or last) pass has not written its first picture yet.
  bool first_picture_pending() const;
  // How far into the source the last conversion got, in seconds on the
  // source's own clock (a jump in its time stamps is skipped in the output,
  // not missing); 0 before its first picture.
  double reached_source_seconds();
  // Every file the last conversion wrote, one per split part, in order.
  std::vector<std::string> written_parts() const;

  // --- State ---
  bool converting() const { return session_->recording(); }
  SourceState source_readiness() const { return source_readiness_; }
  // The open source's picture shape has reached the output settings (the
  // capture tells it by a posted message, at the latest with the first
  // picture).
  bool source_layout_known() const {
    return output_.source_width > 0 && output_.source_height > 0;
  }
  bool stopped_by_user() const { return stopped_by_user_; }
  // The last conversion ended because its output could not be written.
  bool ended_by_failure() const { return ended_by_failure_; }
  const std::string& output_path() const { return output_path_; }
  // The output path as the dialogs that choose it edit it.
  std::string& mutable_output_path() { return output_path_; }
  // Sets the range of the open file as typing Start and Duration into the
  // Time rows does (duration 0: to the end).
  void SetRange(int start, int duration) { TimeRowsEdited(start, duration); }
  // Writes every following conversion to `path` instead of a name derived
  // from the source (the batch converter's --output).
  void FixOutputPath(const std::string& path);
  const std::string& source_path() const { return source_path_; }
  OutputConfig& output() { return output_; }
  ProfilePanel& profiles() { return profiles_; }
  PositionBar& bar() { return bar_; }
  PlaybackControl& playback() { return control_; }
  RecordingSession& session() { return *session_; }
  CaptureStage& capture() { return capture_; }
  const SystemFacts& system() const { return facts_; }
  double display_aspect_factor() const { return display_aspect_factor_; }
  const CropRect& crop() const { return crop_; }
  // The last status line shown.
  const std::string& progress_status() const { return progress_status_; }

 private:
  // PlaybackGraphHost
  void FocusVideoPanel() override {}
  void SetBusyCursor(bool busy) override;
  void PumpMessages() override;
  void PostGraphNotify() override;
  void HideStillPicture() override;
  void ClearProgressText() override;
  void HideBlankScreens() override {}
  std::shared_ptr<media::VideoSurface> PreviewSurface() override;
  std::shared_ptr<media::AudioSink> PreviewSink() override;
  void SourceReady(const std::string& source_path) override;
  void SourceLengthKnown(double seconds) override;
  void ShowGuide(int state) override;
  void GraphClosed() override;
  // CaptureHost (streaming threads)
  void PostProgress() override;
  void VideoLayoutChanged(int aspect_x, int aspect_y) override;
  bool PlaybackPosition(double* seconds) override;
  void StopPointReached() override;
  // Posts the stop of the pass now recording (from any thread).
  void PostStopOfThisPass();
  // GraphEventHost
  bool draining() override { return draining_; }
  int playback_state() override { return control_.state(); }
  bool conversion_running() override { return session_->recording(); }
  bool second_pass() override { return output_.n_pass == 2 && output_.pass == 2; }
  double low_thumb_seconds() override;
  double end_point_seconds() override;
  void ProgressTimerStep() override { PerformanceMonitorTimer(); }
  void PostConversionFinished() override;
  void RepaintStillPicture() override;
  // PositionBarHost
  bool ConversionRunning() override { return session_->recording(); }
  SourceState SourceReadiness() override { return source_readiness_; }
  void SeekTo(double seconds) override;
  void ClearStoppedByUser() override { stopped_by_user_ = false; }
  void RangeChanged() override;

  // The Time rows show the bar's range.
  void ShowRangeInTimeRows();
  // The user typed a start and duration into the Time rows: the bar takes
  // them (within the file) and playback goes to the start.
  void TimeRowsEdited(int start, int duration);

  // Stops the graph's streaming (no picture or sound block is in flight
  // afterwards) without touching the playback control's state.
  void StopStreaming();
  // Opens `target` with the desktop's program for it; tells the user when
  // there is none.
  void OpenOrTell(const std::string& target);
  // Asks `question` while a conversion runs, keeping the time the question
  // was open out of Elapsed.
  MessageButton AskWhileConverting(const char* question);
  void OnVideoLayout();
  void RecomputeDisplayAspectFactor();
  void Mute(bool mute);
  // The controls a conversion took away, back as they are between
  // conversions, and the guide in `guide_state`.
  void ShowReadyForConversion(int guide_state);
  // The end of a conversion whose output failed in pass `pass`.
  void EndAfterOutputFailure(int pass);
  // The status line and progress bar of pass `pass` for `elapsed` wall
  // seconds and `recorded` media seconds; `finished` shows the whole range
  // as done.
  void ShowProgress(double elapsed, double recorded, int pass, bool finished);
  // The last pass, `pass`, ended (`reached_end`: at its stop point or the
  // end of the file, else stopped by the user): the final figures, after
  // the file was finished.
  void ShowConversionEnd(int pass, bool reached_end);
  // What the conversion has written so far, in MiB: the parts it finished
  // and the one being written. The status line shows this and estimates
  // the final size from it; the part being written alone would make the
  // estimate drop to a fraction at every split.
  double OutputSizeMb();
  // The recorded media time in seconds.
  double RecordedSeconds() const;
  // The source position a running conversion has reached, in seconds.
  double ConversionPosition() const;

  MainView* view_;
  MainHost* host_;
  ScreenSaverControl* screen_saver_;
  HeadlessScreenSaver no_screen_saver_;
  std::shared_ptr<media::VideoSurface> preview_surface_;
  std::shared_ptr<media::AudioSink> preview_sink_;
  std::string start_folder_;

  // The process-wide state the engine shares (user interface thread unless
  // said otherwise).
  OutputConfig output_;
  std::string output_path_;
  std::string source_path_;
  StartupSettings settings_;
  SystemFacts facts_;
  CropRect crop_;
  double display_aspect_factor_ = 1.0;

  RecordingClock clock_;
  FormatOutputFactory factory_;
  std::unique_ptr<RecordingSession> session_;
  std::unique_ptr<SessionRecordingTarget> target_;
  CaptureStage capture_;
  PlaybackControl control_;
  PlaybackGraph graph_;
  Guide guide_;
  ProfilePanel profiles_;
  PositionBar bar_;
  CpuLoad cpu_load_;
  CapturePacing pacing_;
  SpeedRegulation regulation_;

  // Written by the capture's streaming thread, read on the UI thread.
  std::atomic<int> layout_x_{0};
  std::atomic<int> layout_y_{0};

  SourceState source_readiness_ = SourceState::kNone;
  bool stopped_by_user_ = false;
  bool draining_ = false;
  bool stopping_ = false;  // inside StopRecording
  // Set by the commands that stop a conversion before its end, for the
  // StopRecording they call.
  bool user_stop_ = false;
  // Set by the capture thread when the user declined the next part.
  std::atomic<bool> part_declined_{false};
  // Counts the passes started; the engine threads' stop messages carry the
  // pass they were raised in, so a late one cannot stop the next pass.
  std::atomic<intptr_t> recording_serial_{0};
  // The end of the conversion is on the status line (until the next
  // recording starts).
  bool end_shown_ = false;
  bool ended_by_failure_ = false;
  // The output part OutputSizeMb saw last, and the MiB of the parts before
  // it.
  std::string counted_part_path_;
  double finished_parts_mb_ = 0;
  int recording_start_position_ = 0;  // seconds
  // Elapsed of the pass being recorded.
  ElapsedClock elapsed_;
  bool auto_thumbnail_done_ = false;
  bool window_placed_ = false;
  bool output_path_fixed_ = false;
  bool in_batch_tool_ = false;
  std::string progress_status_;
};

}  // namespace ovc
