#include "ui/dialogs/finished_recording_presenter.h"

#include "platform/power/shutdown_after_conversion.h"

namespace ovc {

std::string OutputFolderToOpen(const std::string& output_path) {
  size_t slash = output_path.rfind('/');
  return slash == std::string::npos ? std::string() : output_path.substr(0, slash + 1);
}

FinishedRecordingPresenter::FinishedRecordingPresenter(FinishedRecordingView* view, Shell* shell,
                                                       PowerControl* power,
                                                       const OutputConfig* output,
                                                       const std::string* output_path)
    : view_(view), shell_(shell), power_(power), output_(output), output_path_(output_path) {}

void FinishedRecordingPresenter::FormShow(bool psp_profile) {
  if (output_->shutdown_when_done) ShutdownAfterConversion(*power_);
  shown_path_ = *output_path_;
  view_->SetOutputPath(shown_path_);
  view_->SetCompletedText(finished_recording_text::kCompleted);
  view_->SetLocationText(finished_recording_text::kLocation);
  view_->SetNextStep(psp_profile ? finished_recording_text::kPspNextStep : "");
}

void FinishedRecordingPresenter::Button1Click() { view_->Hide(); }

void FinishedRecordingPresenter::Button2Click() {
  view_->Hide();
  shell_->Open(OutputFolderToOpen(shown_path_));
}

void FinishedRecordingPresenter::Button3Click() { shell_->Open(shown_path_); }

}  // namespace ovc
