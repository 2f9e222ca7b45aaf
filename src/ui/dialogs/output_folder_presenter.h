#pragma once

#include <string>

#include "engine/record/output_config.h"
#include "platform/shell/file_dialog.h"

namespace ovc {

// Texts of the default output folder dialog. The first choice's caption and
// the third's (the home folder's path) are set when the dialog opens.
namespace output_folder_text {
inline constexpr char kCaption[] = "Choose Default Output Folder ...";
inline constexpr char kPrompt[] = "Choose the default location where you wish to store movie files:";
inline constexpr char kDesktop[] = "Desktop";
inline constexpr char kOtherFolders[] = "Other folders: ";
inline constexpr char kBrowse[] = "Browse folder here ...";
inline constexpr char kOk[] = "OK";
}  // namespace output_folder_text

// The folder choices of the dialog that own a fallback file name.
enum class OutputFolderChoice {
  kDesktopMovieFolder,  // "Orvane Videos" (or "PSP Movie") on the desktop
  kDesktop,
  kHome,                // the "C:\" choice: the home folder
};

// The name of the folder on the desktop that the first choice stands for:
// "PSP Movie" for a PSP profile, else "Orvane Videos".
std::string DesktopMovieFolderName(bool psp_profile);

// The caption of the first choice, e.g. "\"Orvane Videos\" folder on your
// Desktop".
std::string DesktopMovieFolderCaption(bool psp_profile);

// The file name a choice uses when the output path holds no '/', by output
// format code: untitled.avi (0, 3), .wmv (1), .mp4 (2) for every choice, and
// for the desktop movie folder also .mpg (4), .vob (5), .3gp (6), .mov (7).
// "" where there is none: the path is then the folder alone.
std::string FallbackFileName(OutputFolderChoice choice, int format);

// The output path a choice makes of `folder` (no trailing '/') and the
// current output path: the folder plus the current file part, or plus "/"
// and the fallback name, or the folder alone.
std::string PathInFolder(const std::string& folder, OutputFolderChoice choice,
                         const std::string& current_path, int format);

// The controls of the dialog. Setters must not call back into the presenter.
class OutputFolderView {
 public:
  virtual ~OutputFolderView() = default;
  virtual void SetDesktopMovieFolderCaption(const std::string& caption) = 0;  // RadioButton1
  virtual void SetHomeFolderCaption(const std::string& caption) = 0;          // RadioButton3
  virtual void SetBrowseButtonVisible(bool visible) = 0;
  // Ends the modal showing.
  virtual void Close() = 0;
};

// The default output folder dialog, shown modally when a conversion starts
// and no output path was ever stored. Each folder choice takes effect at
// once: the output path is rebuilt and stored as "OutputConfig\LastOutput".
// One instance lives as long as its dialog; the radio buttons and the
// browse button's visibility are the view's and keep their state. All calls
// on the UI thread.
class OutputFolderPresenter {
 public:
  // Every pointer must outlive the presenter. `output_path` is the main
  // window's output file path; `output` gives the format code.
  OutputFolderPresenter(OutputFolderView* view, SaveFileDialog* file_dialog,
                        const OutputConfig* output, std::string* output_path);

  // The dialog opens for the current profile: sets the first choice's
  // caption for a PSP profile or not, and the home choice's caption to the
  // home folder's path.
  void FormShow(bool psp_profile);

  // The desktop movie folder: <desktop>/PSP Movie (PSP profile) or
  // <desktop>/Orvane Videos, created when missing (a failure is not
  // reported).
  void RadioButton1Click();
  // The desktop folder itself.
  void RadioButton2Click();
  // The home folder.
  void RadioButton3Click();
  // "Other folders: ": shows the browse button.
  void RadioButton4Click();
  // "Browse folder here ...": a folder dialog started on the output path's
  // folder; the output path moves into the chosen folder (keeping its file
  // name) and is stored. A cancelled dialog changes nothing.
  void BrowseButtonClick();

  // "OK": closes the dialog and returns the text for the main window's
  // output folder edit: the output path before its last '/' (the whole path
  // when it has none).
  std::string TeButton2Click();


 private:
  void Choose(const std::string& folder, OutputFolderChoice choice);
  void Store(const std::string& path);

  OutputFolderView* view_;
  SaveFileDialog* file_dialog_;
  const OutputConfig* output_;
  std::string* output_path_;
  bool psp_profile_ = false;
};

}  // namespace ovc
