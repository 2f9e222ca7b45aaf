#pragma once

#include <QDialog>

#include <string>

#include "engine/record/output_config.h"
#include "platform/power/power_control.h"
#include "platform/shell/shell.h"
#include "ui/dialogs/finished_recording_presenter.h"

class QLabel;

namespace ovc {

// "Information": the end-of-conversion report, the form of
// FinishedRecordingPresenter. Created once and shown modally at the end of
// each conversion. Object names: "Label0", "Label1", "label_OutputPath",
// "label_NextStep", "Button1" (OK), "Button2" (Open output folder),
// "Button3" (Play it). Escape and the close button act as "OK". All calls on
// the user interface thread.
class QtFinishedRecordingDialog : public QDialog, private FinishedRecordingView {
  Q_OBJECT

 public:
  // Every pointer must outlive the dialog. `output` gives the
  // power-off-when-done switch; `shell` opens the folder and the file;
  // `power` turns the computer off.
  QtFinishedRecordingDialog(const OutputConfig* output, Shell* shell, PowerControl* power,
                            QWidget* parent);

  // Reports the finished `output_path` and blocks until "OK" or "Open output
  // folder" closes the report. When the user asked for it, the computer is
  // powered off first (a refusal shows "No privilege to shutdown"). The PSP
  // hint is shown only for `psp_profile`; `outcome` gives the headline and
  // every part written.
  void ShowFor(const std::string& output_path, bool psp_profile,
               const ConversionOutcome& outcome = {});

 protected:
  void reject() override;

 private:
  // FinishedRecordingView
  void SetCompletedText(const std::string& text) override;
  void SetLocationText(const std::string& text) override;
  void SetOutputPath(const std::string& path) override;
  void SetNextStep(const std::string& text) override;
  void Hide() override;

  void BuildControls();

  std::string output_path_;  // the path of the current showing
  FinishedRecordingPresenter presenter_;

  // Owned by the dialog through the widget tree.
  QLabel* completed_label_ = nullptr;
  QLabel* location_label_ = nullptr;
  QLabel* output_path_label_ = nullptr;
  QLabel* next_step_label_ = nullptr;
};

}  // namespace ovc
