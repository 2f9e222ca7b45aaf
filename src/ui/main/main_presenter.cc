#include "ui/main/main_presenter.h"

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <future>
#include <optional>
#include <utility>

#include "common/message_box.h"
#include "common/paths.h"
#include "common/tick_count.h"
#include "common/trace.h"
#include "common/translate.h"
#include "engine/record/output_file_errors.h"
#include "engine/record/profile.h"
#include "settings/settings_store.h"
#include "settings/settings_table.h"
#include "transfer/thumbnail.h"
#include "ui/dialogs/output_settings_presenter.h"
#include "ui/main/progress_status.h"
#include "ui/main/source_facts.h"
#include "ui/main/video_file_filter.h"
#include "ui/main/video_layout.h"
#include "ui/main/window_messages.h"

namespace ovc {
namespace {

int ProcessorsOf(const MainWindowOptions& options) {
  if (options.processors > 0) return options.processors;
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

std::string WorkingFolder() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? buffer : ".";
}

MessageButton Ask(const char* question) {
  return ShowMessageBox(TranslateMessage(question), MessageKind::kConfirmation, kButtonsYesNo);
}

void Inform(const char* text) {
  ShowMessageBox(TranslateMessage(text), MessageKind::kInformation, kButtonOk);
}

}  // namespace

MainPresenter::MainPresenter(const MainWindowParts& parts, const MainWindowOptions& options)
    : view_(parts.view),
      host_(parts.host),
      screen_saver_(parts.screen_saver ? parts.screen_saver : &no_screen_saver_),
      preview_surface_(parts.preview_surface),
      preview_sink_(parts.preview_sink),
      start_folder_(options.start_folder.empty() ? WorkingFolder() : options.start_folder),
      factory_(parts.missing_codec),
      session_(std::make_unique<RecordingSession>(&output_, &factory_, ProcessorsOf(options))),
      target_(std::make_unique<SessionRecordingTarget>(session_.get())),
      capture_(&clock_, target_.get(), this),
      control_(&clock_, &capture_, target_.get(), parts.view),
      graph_(&capture_, &clock_, &control_, this),
      guide_(parts.guide_view),
      profiles_(parts.profile_view, parts.profile_host, &output_, &output_path_),
      bar_(parts.bar_view, this),
      pacing_(&capture_, &clock_),
      elapsed_(options.ticks ? options.ticks : TickCount) {
  control_.set_timeouts(options.playback_timeouts);
  in_batch_tool_ = options.in_batch_tool;
  graph_.set_interrupt(options.interrupt);
  // A file that can take no more ends the conversion as "Pause/Stop" does;
  // the writer has told the user why.
  session_->set_failure_listener([this] { PostStopOfThisPass(); });
  // Declining to overwrite the next part ends the conversion where it was.
  session_->set_part_declined_listener([this] {
    part_declined_.store(true);
    PostStopOfThisPass();
  });
  // The capture thread's questions (overwrite the next part) hold Elapsed
  // as the window's own do.
  session_->set_question_listener([this](bool open) {
    if (open) {
      elapsed_.QuestionOpened();
    } else {
      elapsed_.QuestionClosed();
    }
  });
  profiles_.set_range_listener([this](int start, int duration) { TimeRowsEdited(start, duration); });
}

MainPresenter::~MainPresenter() {
  if (session_->recording()) session_->StopProducers();
  graph_.ClosePlaybackGraph();
}

// --- Start-up and closing ---

void MainPresenter::FormCreate() {
  view_->SetOpenButtonCaption("Choose Video");
  view_->ShowTransferCommands(true);

  WriteTraceLine("");
  WriteTraceLine("--------------------------------------");
  WriteTraceLine("");
  ImportStartupRegFiles(start_folder_);
  LoadSettings(&output_, &settings_);
  output_path_ = settings_.output_path;
  capture_.set_trace_level(settings_.dbg);

  mkdir(TempFolder().c_str(), 0700);
  LimitTraceFileSize();
  WriteTraceLine("");
  WriteTraceLine(kProgramVersion);
  WriteTraceLine(kProductName);
  WriteTraceLine("");
  struct utsname system;
  if (uname(&system) == 0)
    TracePrintf("%s %s %s %s", system.sysname, system.release, system.version, system.machine);

  facts_ = ProbeSystem();
  crop_ = CropRect{};
  capture_.set_crop(crop_);
  view_->SetWindowCaption(kProductName);
  profiles_.LoadProfileList();
  profiles_.InitOutputFolder();
  profiles_.PrepareValueLists();
}

void MainPresenter::FormActivate() {
  if (window_placed_) return;
  window_placed_ = true;
  int left, top, width, height;
  if (ParseWindowSize(ReadSettingText("WindowSize", ""), &left, &top, &width, &height)) {
    view_->MoveWindowOnScreen(left, top);
    for (int i = 0; i < 20; ++i) host_->ProcessPendingMessages();
  }
}

bool MainPresenter::FormClose() {
  if (session_->recording()) {
    if (AskWhileConverting("Stop recording?\n") != kButtonYes) {
      control_.PlayMovie();
      return false;
    }
    WriteTraceLine("FormClose, stop recording");
    user_stop_ = true;
    StopRecording();
  } else if (control_.state() == kRunning) {
    control_.PauseMovie();
    host_->Sleep(200);
    control_.StopMovie();
  }
  graph_.ClosePlaybackGraph();
  int left, top, width, height;
  view_->WindowRect(&left, &top, &width, &height);
  char text[64];
  std::snprintf(text, sizeof text, "%d %d %d %d", left, top, width, height);
  WriteSettingText("", "WindowSize", text);
  return true;
}

// --- Opening a file ---

void MainPresenter::OpenFileCommand() {
  std::string path;
  // Every video first, then the program's own short list, then anything.
  const std::string filter = std::string(kVideoFilesFilter) +
                             "|*.wmv; *.mpg;*.mpeg;*.avi;*.dat;*.rm;*.rmvb|*.wmv; *.mpg;*.mpeg;"
                             "*.avi;*.dat;*.rm;*.rmvb|All files|*.*";
  if (!host_->ChooseVideoFile(filter, &path)) return;
  OpenVideoFile(path);
}

int32_t MainPresenter::OpenVideoFile(const std::string& path) {
  source_path_ = path;
  // A new source is named after itself until the user names its output.
  profiles_.ForgetChosenName();
  // The last conversion's figures belong to the last file.
  ClearProgressText();
  view_->SetProgressBar(0);
  view_->SetWindowCaption(CaptionForSource(path, kProductName));
  // The facts are read while the graph is built: each opens and probes the
  // file on its own, so neither waits for the other's probe.
  std::future<std::optional<SourceFacts>> reading = std::async(std::launch::async, [path] {
    SourceFacts facts;
    return ReadSourceFacts(path, &facts) ? std::optional<SourceFacts>(facts) : std::nullopt;
  });
  TracePrintf("Rendering %s", path.c_str());
  // A new source is not ready until its graph is complete.
  source_readiness_ = SourceState::kNone;
  layout_x_.store(0);
  layout_y_.store(0);
  output_.source_width = 0;
  output_.source_height = 0;
  profiles_.SetSourceSize(0, 0);
  graph_.set_source_path(path);
  int32_t result = graph_.BuildPlaybackGraph();
  const std::optional<SourceFacts> facts = reading.get();
  view_->SetSourceFacts(facts ? SourceFactsText(*facts) : std::string());
  output_.source_frame_rate = facts ? facts->frames_per_second : 0;
  control_.PlayMovie();
  view_->EnableSaveAsCommands(true);
  return result;
}

// --- Converting ---

void MainPresenter::StartRecordingButtonClick() {
  stopped_by_user_ = false;
  if (source_readiness_ == SourceState::kNone) {
    Inform("DVD or video file not ready. Try to open again.");
    return;
  }
  view_->EnableConvertButton(false);
  if (session_->recording()) {
    control_.PauseMovie();
    const char* question = output_.n_pass == 2 && output_.pass == 1
                               ? "Stop 1st-Pass recording and start 2nd-Pass now?\n"
                               : "Stop recording?\n";
    if (AskWhileConverting(question) != kButtonYes) {
      control_.PlayMovie();
    } else {
      WriteTraceLine("Manually stop recording");
      user_stop_ = true;
      StopRecording();
      stopped_by_user_ = true;
    }
  } else if (StartRecording()) {
    view_->EnableTransport(false);
    view_->SetConvertCaption("Pause/Stop");
  }
  view_->EnableConvertButton(true);
}

bool MainPresenter::StartRecording() {
  const bool was_playing = control_.state() == kRunning;
  if (output_.pass != 2) control_.PauseMovie();
  CProfile* profile = profiles_.current();
  if (!profile) {
    Inform("No profile selected");
    return false;
  }
  // Values edited in the panel since the profile was loaded.
  if (std::string problem = profile->Problem(); !problem.empty()) {
    TracePrintf("%s", problem.c_str());
    ShowMessageBox(problem, MessageKind::kWarning, kButtonOk);
    return false;
  }
  // The range is the bar's, which the Time rows show and set; the second
  // pass records the range of the first.
  ApplyProfile(*profile, &output_);
  // The second pass rewrites the first pass's file. A PSP file takes the
  // first free number, which the first pass has just used: deriving the
  // name again would write the second pass to another file.
  if (!output_path_fixed_ && output_.pass != 2) profiles_.DeriveOutputName();

  // A fresh install asks once where converted files go; the batch tool and
  // a fixed output path have their own answer.
  if (!in_batch_tool_ && !output_path_fixed_ &&
      ReadSettingText("OutputConfig\\LastOutput", "").empty()) {
    std::string folder = host_->AskDefaultOutputFolder();
    if (!folder.empty()) profiles_.OutputFolderEditChange(folder);
  }
  WriteCodecPassMode(output_);

  session_->set_source_path(source_path_);
  session_->set_output_path(output_path_);
  // The writers convert the sound from the format the capture found.
  capture_.source_audio_format().ApplyTo(&output_);
  // A PSP file's number is the program's choice: another copy of the
  // program converting into the same folder may take it first, and the
  // conversion then moves on to the next free number.
  if (!output_path_fixed_ && output_.pass != 2 && profiles_.OutputIsPspFile()) {
    session_->set_next_free_name([this] {
      output_.file_number = output_.file_number >= 0 && output_.file_number < kMaxPspVideoNumber
                                ? output_.file_number + 1
                                : 0;
      profiles_.DeriveOutputName();
      return output_path_;
    });
  } else {
    session_->set_next_free_name(nullptr);
  }
  const int opened = session_->OpenOutput(false);
  counted_part_path_ = session_->output_path();
  finished_parts_mb_ = 0;
  const bool need_resize = NeedsResize(output_, crop_.IsWholePicture());
  TracePrintf("NeedResize=%d", need_resize ? 1 : 0);
  if (opened != 0) {
    if (was_playing) control_.PlayMovie();
    return false;
  }

  // The capture works from this pass's settings from the first picture
  // the seek below delivers.
  capture_.SetOutput(output_);
  if (output_.disable_screensaver) screen_saver_->DisableScreenSaver();
  if (output_.pass != 2) {
    // The last conversion's end no longer stands on the status line.
    ClearProgressText();
    view_->SetProgressBar(0);
  }
  view_->EnableOutputSettingsMenu(false);
  view_->ShowRangeLabels(false);
  view_->EnableOpenButton(false);
  view_->Repaint();
  guide_.ShowGuide(kGuideRecording);
  Mute(true);
  TracePrintf(
      "Recording...pass %d/%d  audio_bitrate=%d  video_bitrate=%f  fps=%.3f %dx%d codec=%s "
      "start=%d end=%d",
      output_.pass, output_.n_pass, output_.audio_bitrate, output_.video_bitrate,
      output_.out_frame_rate, output_.width, output_.height,
      profile->vcodec.c_str(), bar_.StartPointSec(), bar_.StopPointSec());

  recording_start_position_ = bar_.StartPointSec();
  // Every conversion starts at its start point, with one pass as with two.
  // The graph is stopped first, so that nothing streams until the capture
  // is active: a paused graph hands the picture at the new position to the
  // capture during the seek itself, before the recording could take it, and
  // a capture made active before the seek of a paused graph could take a
  // picture from before the start point that was still on its way.
  // Stopping waits for the streaming threads as the seek itself does; none
  // is held up in the recording, which is not active yet.
  // Pictures decoded from here on are for the output.
  const PictureArea shown = need_resize ? capture_.ShownPictureSize() : PictureArea{};
  graph_.SetShownPictureSize(shown.width, shown.height);
  StopStreaming();
  if (output_.pass != 2) {
    SeekTo(recording_start_position_);
  } else {
    draining_ = true;
    SeekTo(recording_start_position_);
    if (graph_.graph()) PumpGraphEvents(&graph_.graph()->events(), source_readiness_ == SourceState::kReady, this);
    draining_ = false;
  }
  Mute(true);

  // The capture ends the recording on the output frame at the stop point
  // (stream time starts at the position sought to); the end of the file is
  // left to the completion event, so that its last fraction of a second is
  // converted too.
  recording_serial_.fetch_add(1);
  capture_.SetStopTime(bar_.StopPointIsFileEnd()
                           ? -1.0
                           : static_cast<double>(bar_.StopPointSec() - recording_start_position_));
  capture_.BeginRecording(need_resize);
  graph_.SetFreeRunning(true);
  session_->StartProducers();
  elapsed_.Start();
  auto_thumbnail_done_ = false;
  end_shown_ = false;
  ended_by_failure_ = false;
  part_declined_.store(false);
  // The graph streams again from the start point, its first picture
  // recorded.
  control_.PlayMovie();
  return true;
}

void MainPresenter::StopRecording() {
  // Whether the user ended this pass early (otherwise it reached its stop
  // point or the end of the file).
  const bool by_user = std::exchange(user_stop_, false) | part_declined_.exchange(false);
  if (!session_->recording() || stopping_) return;
  stopping_ = true;
  clock_.SetSpeed(1.0f);
  clock_.RestartBase();
  host_->Sleep(25);
  control_.PauseMovie();
  host_->Sleep(100);
  // Both waits may last until another thread has had an answer from the
  // user: a capture callback asking whether to overwrite the next part, an
  // encoding thread reporting a write error.
  host_->RunBlockingWork([this] { capture_.PassCaptureLock(); });

  graph_.SetFreeRunning(false);
  graph_.SetShownPictureSize(0, 0);
  if (output_.disable_screensaver) screen_saver_->RestoreScreenSaver();
  view_->EnableOutputSettingsMenu(true);
  if (session_->uses_threads()) host_->SetCursor(CursorShape::kHourglass);
  host_->RunBlockingWork([this] { session_->StopProducers(); });
  if (session_->uses_threads()) host_->SetCursor(CursorShape::kArrow);
  session_->FinishOutput();
  stopping_ = false;

  const int ended_pass = output_.pass;
  if (session_->output_failed()) {
    EndAfterOutputFailure(ended_pass);
    return;
  }
  if (session_->AdvancePass([this] { WriteCodecPassMode(output_); })) {
    // Pass 2 records what pass 1 recorded: from its start to where it
    // stopped. The low thumb only follows the position every 500 ms, which
    // at several times real speed is seconds behind; the capture knows.
    const double position = ConversionPosition();
    int stopped_at = static_cast<int>(position);
    if (position >= bar_.TitleSeconds() - 0.5) {
      stopped_at = bar_.maximum();  // the end of the file
    } else if (!bar_.StopPointIsFileEnd() && position >= bar_.StopPointSec() - 0.5) {
      stopped_at = bar_.StopPointSec();
    }
    bar_.SetRangeSilently(recording_start_position_, stopped_at);
    if (StartRecording()) return;
    // The second pass could not start (its output could not be opened, and
    // the user was told why): the conversion ends here, with the window
    // ready for the next one. Its file holds the first pass only, so there
    // is no report; the codec leaves two-pass mode.
    WriteTraceLine("2nd pass not started");
    output_.pass = 1;
    WriteCodecPassMode(output_);
    ShowReadyForConversion(kGuideReady);
    return;
  }

  // The status line shows how the conversion ended before the report
  // comes up, not the last figures the capture posted on its way.
  ShowConversionEnd(ended_pass, /*reached_end=*/!by_user);
  ShowReadyForConversion(kGuideFinished);
  for (int i = 0; i < 40; ++i) {
    host_->ProcessPendingMessages();
    host_->Sleep(10);
  }
  ConversionOutcome outcome;
  outcome.parts = session_->part_paths();
  outcome.stopped = by_user;
  outcome.converted_seconds = RecordedSeconds();
  outcome.range_seconds = bar_.RangeSeconds();
  host_->ShowFinishedRecording(output_path_, profiles_.psp(), outcome);
  if (!output_path_fixed_) profiles_.DeriveOutputName();
}

void MainPresenter::EndAfterOutputFailure(int pass) {
  // No second pass, no report: what was written (if the writer could keep
  // it) ends where the failure came.
  WriteTraceLine("Conversion ended: the output could not be written");
  session_->EndAfterFailure([this] { WriteCodecPassMode(output_); });
  // The PSP's thumbnail belongs beside its movie; without it, it is litter.
  if (WritesPspFile(output_) && !PathExists(output_path_))
    unlink(ThumbnailPath(output_path_).c_str());
  ShowConversionEnd(pass, /*reached_end=*/false);
  ShowReadyForConversion(kGuideReady);
  ended_by_failure_ = true;
  if (!output_path_fixed_) profiles_.DeriveOutputName();
}

void MainPresenter::ShowReadyForConversion(int guide_state) {
  view_->EnableOpenButton(true);
  view_->ShowRangeLabels(true);
  guide_.ShowGuide(guide_state);
  view_->EnableTransport(true);
  view_->SetConvertCaption("Convert");
  Mute(false);
}

void MainPresenter::FixOutputPath(const std::string& path) {
  output_path_ = path;
  output_path_fixed_ = true;
}

void MainPresenter::Mute(bool mute) {
  if (graph_.graph()) control_.SetPreviewVolume(mute ? -10000 : 0);
}

MessageButton MainPresenter::AskWhileConverting(const char* question) {
  // The conversion waits for the answer; Elapsed does not count that time.
  elapsed_.QuestionOpened();
  const MessageButton answer = Ask(question);
  elapsed_.QuestionClosed();
  return answer;
}

// --- Timer and messages ---

double MainPresenter::RecordedSeconds() const { return capture_.recorded_seconds(); }

double MainPresenter::ConversionPosition() const {
  // The stream's time starts at the position the pass sought to; the
  // graph's own position, read when the first picture came, runs ahead by
  // what the decoders have buffered, and would end a range early.
  return recording_start_position_ + RecordedSeconds();
}

void MainPresenter::PerformanceMonitorTimer() {
  const bool recording = session_->recording();
  if (control_.state() == kRunning) {
    double position = 0;
    if (recording) {
      position = ConversionPosition();
    } else if (!PlaybackPosition(&position)) {
      position = 0;
    }
    const int seconds = position > 0 && position < INT_MAX ? static_cast<int>(position) : 0;
    bar_.MoveStartPoint(seconds);
    bar_.SetPlayTime(seconds / 3600, seconds % 3600 / 60, seconds % 60);
    bar_.RefreshPlayTime();
    if (recording && bar_.EndtimeReached(seconds)) {
      WriteTraceLine(EndtimeTraceText(seconds, bar_.StopPointSec()));
      StopRecording();
      host_->PostMessage(kWmProgress, 0, -1);
    }
  }
  SpeedRegulation::TickState tick;
  tick.adjust_speed = settings_.adjust_speed != 0;
  tick.converting = session_->recording();
  tick.playing = control_.state() == kRunning;
  tick.dbg = settings_.dbg;
  regulation_.Tick(tick, [this] { return cpu_load_.Sample(); }, &pacing_);
}

double MainPresenter::OutputSizeMb() {
  // A part counts as finished once the session writes the next; the
  // capture's progress messages (every 20 pictures) see each part of any
  // sensible split size.
  const std::string current = session_->output_path();
  if (current != counted_part_path_) {
    if (!counted_part_path_.empty()) finished_parts_mb_ += ReadOutputSizeMb(counted_part_path_);
    counted_part_path_ = current;
  }
  return finished_parts_mb_ + ReadOutputSizeMb(current);
}

void MainPresenter::UpdateProgress(intptr_t wparam, intptr_t lparam) {
  const double elapsed = elapsed_.ElapsedSeconds();
  const double recorded = RecordedSeconds();
  // The thumbnail belongs to the file being written; once the conversion
  // is over the output path already names the next one.
  if (recorded > 2.5 && !auto_thumbnail_done_ && session_->recording()) {
    // Marked first: taking the picture may handle further messages.
    auto_thumbnail_done_ = true;
    SaveThumbnailBtnClick();
  }
  // Every end message follows a StopRecording of the pass it reports, and
  // StopRecording shows the end of the last pass itself. So an end message
  // that arrives while a stop is under way, while the next pass runs (the
  // end of the first of two) or after the end was shown has nothing to add:
  // it would show the new pass as done, or the time the report was up as
  // elapsed.
  if (lparam == -1 && (stopping_ || session_->recording() || end_shown_)) return;
  const double range = bar_.RangeSeconds();
  const ProgressStep step =
      DecideProgressStep(range, wparam, lparam, session_->recording(), recorded);
  if (step == ProgressStep::kNone) return;
  if (step == ProgressStep::kFinished) {
    bar_.MoveLowToHigh();
    bar_.ShowPlayTime(bar_.high());
  }
  ShowProgress(elapsed, recorded, output_.pass, step == ProgressStep::kFinished);
}

void MainPresenter::ShowConversionEnd(int pass, bool reached_end) {
  end_shown_ = true;
  const double range = bar_.RangeSeconds();
  // As for the end message: nothing is shown for a range of a second or
  // less.
  if (!(range > 1)) return;
  if (reached_end) {
    bar_.MoveLowToHigh();
    bar_.ShowPlayTime(bar_.high());
  }
  const double elapsed = elapsed_.ElapsedSeconds();
  ShowProgress(elapsed, RecordedSeconds(), pass, reached_end);
}

void MainPresenter::ShowProgress(double elapsed, double recorded, int pass, bool finished) {
  ProgressFigures figures;
  figures.elapsed_seconds = elapsed;
  figures.recorded_seconds = recorded;
  figures.range_seconds = bar_.RangeSeconds();
  figures.n_pass = output_.n_pass;
  figures.pass = pass;
  figures.output_mb = OutputSizeMb();
  // The file being written (the current part), not the name the next
  // conversion will take.
  figures.output_path = session_->output_path();
  ProgressDisplay display = BuildProgressDisplay(figures, finished);
  progress_status_ = display.status;
  view_->SetProgressStatus(progress_status_);
  view_->SetProgressBar(display.bar);
}

bool MainPresenter::HandleMessage(uint32_t message, intptr_t wparam, intptr_t lparam) {
  switch (message) {
    case kWmCommand:
      return true;
    case kWmGraphNotify:
      if (graph_.graph()) PumpGraphEvents(&graph_.graph()->events(), source_readiness_ == SourceState::kReady, this);
      return true;
    case kWmVideoLayout:
      OnVideoLayout();
      return true;
    case kWmStopRecording:
      // A stop the engine asked for in a pass that has ended since (it
      // reached its end meanwhile) must not stop the next pass.
      if (wparam != 0 && wparam != recording_serial_.load()) {
        WriteTraceLine("stop of an ended pass left out");
        return true;
      }
      WriteTraceLine("stop recording");
      StopRecording();
      return true;
    case kWmProgress:
      UpdateProgress(wparam, lparam);
      return true;
    default:
      return false;
  }
}

// --- Video layout ---

void MainPresenter::RecomputeDisplayAspectFactor() {
  if (output_.source_width <= 0 || output_.source_height <= 0) return;
  display_aspect_factor_ = DisplayAspectFactor(output_.auto_stretch, output_.width,
                                               layout_x_.load(), layout_y_.load(), crop_);
}

void MainPresenter::OnVideoLayout() {
  const int x = layout_x_.load();
  const int y = layout_y_.load();
  if (x <= 0 || y <= 0) return;
  output_.source_width = capture_.input_width();
  output_.source_height = capture_.input_height();
  output_.aspect_x = x;
  output_.aspect_y = y;
  profiles_.SetSourceSize(x, y);
  if (output_.auto_stretch) RecomputeDisplayAspectFactor();
  VideoPlacement place = PlaceLiveVideo(view_->VideoPanelWidth(), view_->VideoPanelHeight(), x,
                                        y, display_aspect_factor_, crop_);
  view_->PlaceVideo(place.left, place.top, place.width, place.height);
  if (CProfile* profile = profiles_.current()) {
    profiles_.DeriveOutputSize(profile);
    profiles_.ShowProfileValues();
  }
}

// --- PlaybackGraphHost ---

void MainPresenter::SetBusyCursor(bool busy) {
  host_->SetCursor(busy ? CursorShape::kHourglass : CursorShape::kArrow);
}

void MainPresenter::PumpMessages() { host_->ProcessPendingMessages(); }

void MainPresenter::PostGraphNotify() { host_->PostMessage(kWmGraphNotify, 0, 0); }

void MainPresenter::HideStillPicture() { view_->HideStillPicture(); }

void MainPresenter::ClearProgressText() {
  progress_status_.clear();
  view_->SetProgressStatus("");
}

std::shared_ptr<media::VideoSurface> MainPresenter::PreviewSurface() { return preview_surface_; }

std::shared_ptr<media::AudioSink> MainPresenter::PreviewSink() { return preview_sink_; }

void MainPresenter::SourceReady(const std::string& source_path) {
  source_readiness_ = SourceState::kReady;
  profiles_.SetSourcePath(source_path);
  if (!output_path_fixed_) profiles_.DeriveOutputName();
}

void MainPresenter::SourceLengthKnown(double seconds) {
  // A new file is converted whole until the user sets a range.
  bar_.SourceRendered(seconds);
  ShowRangeInTimeRows();
  view_->ShowRangeLabels(true);
  profiles_.SetTitleSeconds(seconds);
  profiles_.UpdateSizeEstimate();
  SourceLength length = SplitSourceLength(seconds);
  guide_.set_source_length(length.hours, length.minutes, length.secs);
}

void MainPresenter::ShowGuide(int state) { guide_.ShowGuide(state); }

void MainPresenter::GraphClosed() {
  source_readiness_ = SourceState::kNone;
  profiles_.ReleaseRange();
  bar_.GraphClosed();
}

// --- CaptureHost ---

void MainPresenter::PostProgress() { host_->PostMessage(kWmProgress, 0, 0); }

void MainPresenter::VideoLayoutChanged(int aspect_x, int aspect_y) {
  layout_x_.store(aspect_x < 0 ? -aspect_x : aspect_x);
  layout_y_.store(aspect_y < 0 ? -aspect_y : aspect_y);
  host_->PostMessage(kWmVideoLayout, 0, 0);
}

bool MainPresenter::PlaybackPosition(double* seconds) {
  media::FilterGraph* graph = graph_.graph();
  return graph && media::Succeeded(graph->GetCurrentPosition(seconds));
}

void MainPresenter::PostStopOfThisPass() {
  host_->PostMessage(kWmStopRecording, recording_serial_.load(), 0);
}

void MainPresenter::StopPointReached() {
  PostStopOfThisPass();
  host_->PostMessage(kWmProgress, 0, -1);
}

// --- GraphEventHost ---

double MainPresenter::low_thumb_seconds() { return bar_.low(); }

double MainPresenter::end_point_seconds() { return bar_.StopPointSec(); }

void MainPresenter::PostConversionFinished() { host_->PostMessage(kWmProgress, 0, -1); }

void MainPresenter::RepaintStillPicture() { view_->ShowStillPicture(); }

// --- PositionBarHost ---

void MainPresenter::SeekTo(double seconds) {
  if (media::FilterGraph* graph = graph_.graph()) graph->SetCurrentPosition(seconds);
}

void MainPresenter::StopStreaming() {
  // The playback control keeps its own state (paused): its next PlayMovie
  // runs the graph, which then starts streaming from the position set.
  if (media::FilterGraph* graph = graph_.graph()) graph->Stop();
}

}  // namespace ovc
