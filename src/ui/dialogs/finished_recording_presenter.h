#pragma once

#include <string>
#include <vector>

#include "engine/record/output_config.h"
#include "platform/power/power_control.h"
#include "platform/shell/shell.h"

namespace ovc {

// Texts of the end-of-conversion report.
namespace finished_recording_text {
inline constexpr char kCaption[] = "Information";
inline constexpr char kCompleted[] = "Conversion Completed";
inline constexpr char kLocation[] = "Output file location:";
inline constexpr char kPartsLocation[] = "Output files (%zu parts):";
inline constexpr char kNoHandler[] =
    "No program is set up on this computer to open\n%s\nInstall one, or open it from your file "
    "manager.";
inline constexpr char kPspNextStep[] =
    "Next step: Connect PSP to your computer using a USB cable. And then click \"Transfer to "
    "PSP\" button.";
inline constexpr char kOk[] = "OK";
inline constexpr char kOpenFolder[] = "Open output folder";
inline constexpr char kPlay[] = "Play it";
}  // namespace finished_recording_text

// How a conversion ended, for its report.
struct ConversionOutcome {
  // Every file written, first part first; empty: the output path alone.
  std::vector<std::string> parts;
  // The user ended it before its stop point or the end of the file.
  bool stopped = false;
  double converted_seconds = 0;  // of the source
  double range_seconds = 0;      // what was to be converted
};

// The report's first line: "Conversion Completed", or for a stopped
// conversion "Conversion stopped: 0:00:12 of 0:00:40 converted (30 %)".
std::string OutcomeHeadline(const ConversionOutcome& outcome);

// The folder "Open output folder" opens: the path up to and including its
// last '/' ("/home/me/videos/" of "/home/me/videos/a.avi"); "" when the path
// has no '/'.
std::string OutputFolderToOpen(const std::string& output_path);

// The labels of the report window. Setters must not call back into the
// presenter.
class FinishedRecordingView {
 public:
  virtual ~FinishedRecordingView() = default;
  virtual void SetCompletedText(const std::string& text) = 0;  // Label0
  virtual void SetLocationText(const std::string& text) = 0;   // Label1
  // The output files, one path a line.
  virtual void SetOutputPath(const std::string& path) = 0;     // label_OutputPath
  virtual void SetNextStep(const std::string& text) = 0;       // label_NextStep
  // Ends the modal showing.
  virtual void Hide() = 0;
};

// The report shown modally at the end of a conversion: where the file went,
// the next step for a PSP, and buttons to open the folder or play the file.
// When the user asked for it, it powers the computer off as it opens. One
// instance lives as long as its window. All calls on the UI thread.
class FinishedRecordingPresenter {
 public:
  // Every pointer must outlive the presenter.
  FinishedRecordingPresenter(FinishedRecordingView* view, Shell* shell, PowerControl* power,
                             const OutputConfig* output, const std::string* output_path);

  // The window opens. With the configuration's shutdown_when_done set, the
  // power-off comes first (ShutdownAfterConversion: a refusal shows "No
  // privilege to shutdown"); then the labels are filled with the output path
  // as it is now (or the parts of `outcome`), the headline from `outcome`,
  // and the PSP hint appears only for a PSP profile.
  void FormShow(bool psp_profile, const ConversionOutcome& outcome = {});

  // "OK": hides the window.
  void Button1Click();
  // "Open output folder": hides the window and opens the output file's
  // folder with the shell; where nothing could open it, the user is told.
  void Button2Click();
  // "Play it": opens the (first) output file with its default program; the
  // window stays open. Where nothing could open it, the user is told.
  void Button3Click();

 private:
  FinishedRecordingView* view_;
  Shell* shell_;
  PowerControl* power_;
  const OutputConfig* output_;
  const std::string* output_path_;
  // The path the window shows; the buttons act on it even when the main
  // window has moved on to the next output name.
  std::string shown_path_;
  // Opens `target` with the shell, telling the user when nothing could.
  void OpenOrTell(const std::string& target);
};

}  // namespace ovc
