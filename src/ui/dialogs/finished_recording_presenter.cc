#include "ui/dialogs/finished_recording_presenter.h"

#include <algorithm>
#include <cstdio>

#include "common/message_box.h"
#include "platform/power/shutdown_after_conversion.h"

namespace ovc {
namespace {

std::string Hms(double seconds) {
  const long long whole = seconds > 0 ? static_cast<long long>(seconds + 0.5) : 0;
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole % 3600 / 60,
                whole % 60);
  return text;
}

}  // namespace

std::string OutcomeHeadline(const ConversionOutcome& outcome) {
  if (!outcome.stopped) return finished_recording_text::kCompleted;
  char text[160];
  if (outcome.range_seconds > 0) {
    const double share = std::min(outcome.converted_seconds / outcome.range_seconds, 1.0);
    std::snprintf(text, sizeof text, "Conversion stopped: %s of %s converted (%d %%)",
                  Hms(outcome.converted_seconds).c_str(), Hms(outcome.range_seconds).c_str(),
                  static_cast<int>(share * 100));
  } else {
    std::snprintf(text, sizeof text, "Conversion stopped: %s converted",
                  Hms(outcome.converted_seconds).c_str());
  }
  return text;
}

std::string OutputFolderToOpen(const std::string& output_path) {
  size_t slash = output_path.rfind('/');
  return slash == std::string::npos ? std::string() : output_path.substr(0, slash + 1);
}

FinishedRecordingPresenter::FinishedRecordingPresenter(FinishedRecordingView* view, Shell* shell,
                                                       PowerControl* power,
                                                       const OutputConfig* output,
                                                       const std::string* output_path)
    : view_(view), shell_(shell), power_(power), output_(output), output_path_(output_path) {}

void FinishedRecordingPresenter::FormShow(bool psp_profile, const ConversionOutcome& outcome) {
  if (output_->shutdown_when_done) ShutdownAfterConversion(*power_);
  shown_path_ = outcome.parts.empty() ? *output_path_ : outcome.parts.front();
  std::string paths = shown_path_;
  for (size_t i = 1; i < outcome.parts.size(); ++i) paths += "\n" + outcome.parts[i];
  view_->SetOutputPath(paths);
  view_->SetCompletedText(OutcomeHeadline(outcome));
  if (outcome.parts.size() > 1) {
    char text[64];
    std::snprintf(text, sizeof text, finished_recording_text::kPartsLocation,
                  outcome.parts.size());
    view_->SetLocationText(text);
  } else {
    view_->SetLocationText(finished_recording_text::kLocation);
  }
  view_->SetNextStep(psp_profile ? finished_recording_text::kPspNextStep : "");
}

void FinishedRecordingPresenter::Button1Click() { view_->Hide(); }

void FinishedRecordingPresenter::Button2Click() {
  view_->Hide();
  OpenOrTell(OutputFolderToOpen(shown_path_));
}

void FinishedRecordingPresenter::Button3Click() { OpenOrTell(shown_path_); }

void FinishedRecordingPresenter::OpenOrTell(const std::string& target) {
  if (shell_->Open(target)) return;
  char text[128 + 4096];
  std::snprintf(text, sizeof text, finished_recording_text::kNoHandler, target.c_str());
  ShowMessageBox(text, MessageKind::kWarning, kButtonOk);
}

}  // namespace ovc
