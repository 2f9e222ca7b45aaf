// The main window's commands: transport, the output name, the dialogs and
// the desktop's programs, the thumbnail, and the range the Time rows show.
#include "ui/main/main_presenter.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "common/message_box.h"
#include "common/paths.h"
#include "common/trace.h"
#include "engine/record/profile.h"
#include "engine/record/recording_session.h"
#include "settings/settings_store.h"
#include "settings/settings_table.h"
#include "transfer/thumbnail.h"
#include "ui/main/output_naming.h"

namespace ovc {

// --- Transport and other commands ---

void MainPresenter::PlayButtonClick() {
  Mute(false);
  if (stopped_by_user_) {
    bar_.NudgeLow();
    host_->SetCursor(CursorShape::kArrow);
    stopped_by_user_ = false;
  }
  control_.PlayMovie();
}

void MainPresenter::PauseButtonClick() { control_.PauseMovie(); }

void MainPresenter::StopButtonClick() {
  // Back to the very beginning, paused there: the paused graph delivers the
  // first picture, which the preview shows. A graph that will not pause is
  // stopped instead.
  if (control_.state() == kRunning) control_.PauseMovie();
  if (control_.state() != kPaused) {
    control_.StopMovie();
    return;
  }
  capture_.ResetRecordedTime();
  bar_.PositionRangeBarLowChange(0);
  bar_.SetPlayTime(0, 0, 0);
  bar_.RefreshPlayTime();
}

void MainPresenter::SetOutputPathCommand() {
  const char* filter = output_.format == kFormatAvi || output_.format == kFormatFfmpegAvi
                           ? "AVI|*.avi"
                           : output_.format == kFormatWmv ? "WMV|*.wmv" : "MP4|*.mp4";
  const CProfile* profile = profiles_.current();
  const std::string extension = OutputExtension(profile ? profile->fileext : "", output_.format);
  std::string path;
  if (!host_->ChooseOutputFile(filter, extension, output_path_, &path)) return;
  ChooseOutputPath(path);
}

void MainPresenter::ChooseOutputPath(const std::string& typed) {
  if (typed.empty() || output_path_fixed_) return;
  // A name without a folder goes into the folder shown; a relative folder
  // is taken from there too, not from the program's working folder.
  std::string folder = profiles_.output_folder_text();
  if (folder.empty()) folder = HomeFolder();
  std::string name = typed;
  const size_t slash = typed.rfind('/');
  if (slash != std::string::npos) {
    const std::string given = typed.substr(0, slash);
    folder = typed[0] == '/' ? (given.empty() ? "/" : given)
                             : (folder.back() == '/' ? folder : folder + "/") + given;
    name = typed.substr(slash + 1);
  }
  profiles_.NameOutput(folder, name);
  if (!name.empty() && profiles_.OutputIsPspFile()) {
    ShowMessageBox("The PSP lists only videos with its own numbered names, so the video is saved "
                   "as\n" + output_path_,
                   MessageKind::kInformation, kButtonOk);
  }
}

void MainPresenter::OutputSettingsCommand() { host_->ShowOutputSettings(false); }

void MainPresenter::MoreOptionsBtnClick() { host_->ShowOutputSettings(true); }

void MainPresenter::TransferCommand() { host_->ShowTransferWindow(); }

void MainPresenter::ManualCommand() {
  if (chdir(ProgramFolder().c_str()) != 0) TracePrintf("chdir %s failed", ProgramFolder().c_str());
  OpenOrTell(ProgramFolder() + "/help.html");
}

void MainPresenter::WebsiteCommand() { OpenOrTell(ReadSettingText("URL\\home", kVendorHomePage)); }

void MainPresenter::OpenOrTell(const std::string& target) {
  if (host_->OpenWithShell(target)) return;
  ShowMessageBox("No program is set up on this computer to open\n" + target +
                     "\nInstall one, or open it yourself.",
                 MessageKind::kWarning, kButtonOk);
}

void MainPresenter::BatchConvertCommand() {
  host_->StartBatchConverter();
  host_->Sleep(1200);
  host_->Minimise();
}

int MainPresenter::SaveThumbnailBtnClick() {
  if (!WritesPspFile(output_)) return -1;
  double aspect = 0;
  if (output_.aspect_x > 0 && output_.aspect_y > 0 && crop_.bottom > crop_.top)
    aspect = output_.aspect_x * (crop_.right - crop_.left) /
             (output_.aspect_y * (crop_.bottom - crop_.top));
  // During a conversion a capture callback may hold the capture lock until
  // the user has answered its question.
  Bitmap24 picture;
  host_->RunBlockingWork([this, &picture] { picture = capture_.StillPicture(); });
  return WriteThumbnail(picture, ThumbnailPath(output_path_), aspect);
}

void MainPresenter::ThumbnailCommand() {
  const int result = SaveThumbnailBtnClick();
  if (session_->recording()) return;
  const std::string thumbnail = ThumbnailPath(output_path_);
  const size_t slash = output_path_.rfind('/');
  const std::string video = output_path_.substr(slash == std::string::npos ? 0 : slash + 1);
  if (result == 0) {
    ShowMessageBox("The thumbnail is saved as\n" + thumbnail + "\nfor " + video +
                       ", which the next conversion writes.",
                   MessageKind::kInformation, kButtonOk);
  } else {
    ShowMessageBox("The thumbnail could not be saved as\n" + thumbnail, MessageKind::kWarning,
                   kButtonOk);
  }
}

// --- The range ---

void MainPresenter::RangeChanged() {
  if (source_readiness_ == SourceState::kReady && !session_->recording()) ShowRangeInTimeRows();
}

void MainPresenter::ShowRangeInTimeRows() {
  // The batch tool sets each file's range itself and keeps the profile's
  // values for the next file.
  if (in_batch_tool_) return;
  const int start = bar_.StartPointSec();
  const int duration = bar_.StopPointIsFileEnd() ? 0 : std::max(bar_.StopPointSec() - start, 0);
  profiles_.ShowRange(start, duration);
}

void MainPresenter::TimeRowsEdited(int start, int duration) {
  if (source_readiness_ != SourceState::kReady || session_->recording()) return;
  // Within the file: a range past its end ends with it.
  const int length = bar_.maximum();
  start = std::clamp(start, 0, length);
  if (duration > 0 && int64_t{start} + duration >= length) duration = 0;
  bar_.ApplyProfileRange(start, duration);
  SeekTo(bar_.low());
  ShowRangeInTimeRows();
}

}  // namespace ovc
