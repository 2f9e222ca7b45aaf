#include "ui/dialogs/output_folder_presenter.h"

#include <filesystem>
#include <system_error>

#include "common/paths.h"
#include "platform/shell/desktop_folder.h"
#include "settings/settings_store.h"
#include "ui/dialogs/output_path_rules.h"

namespace ovc {

std::string DesktopMovieFolderName(bool psp_profile) {
  return psp_profile ? std::string("PSP Movie") : std::string(kCompanyWord) + " Videos";
}

std::string DesktopMovieFolderCaption(bool psp_profile) {
  return "\"" + DesktopMovieFolderName(psp_profile) + "\" folder on your Desktop";
}

std::string FallbackFileName(OutputFolderChoice choice, int format) {
  // Every choice knows the AVI, WMV and MP4 names; only the movie folder on
  // the desktop knows the others.
  const bool common = format >= 0 && format <= 3;
  const bool movie_folder_only = format >= 4 && format <= 7;
  if (common || (movie_folder_only && choice == OutputFolderChoice::kDesktopMovieFolder))
    return UntitledFileName(format);
  return "";
}

std::string PathInFolder(const std::string& folder, OutputFolderChoice choice,
                         const std::string& current_path, int format) {
  // The root folder is "/"; joining adds the '/' itself.
  std::string base = folder == "/" ? std::string() : folder;
  std::string file_part = FilePartOf(current_path);
  if (!file_part.empty()) return base + file_part;
  std::string fallback = FallbackFileName(choice, format);
  if (fallback.empty()) return folder;
  return base + "/" + fallback;
}

OutputFolderPresenter::OutputFolderPresenter(OutputFolderView* view, SaveFileDialog* file_dialog,
                                             const OutputConfig* output,
                                             std::string* output_path)
    : view_(view), file_dialog_(file_dialog), output_(output), output_path_(output_path) {}

void OutputFolderPresenter::FormShow(bool psp_profile) {
  psp_profile_ = psp_profile;
  view_->SetDesktopMovieFolderCaption(DesktopMovieFolderCaption(psp_profile));
  view_->SetHomeFolderCaption(HomeFolder());
}

void OutputFolderPresenter::RadioButton1Click() {
  std::string folder = DesktopFolder() + "/" + DesktopMovieFolderName(psp_profile_);
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  Choose(folder, OutputFolderChoice::kDesktopMovieFolder);
}

void OutputFolderPresenter::RadioButton2Click() {
  Choose(DesktopFolder(), OutputFolderChoice::kDesktop);
}

void OutputFolderPresenter::RadioButton3Click() {
  Choose(HomeFolder(), OutputFolderChoice::kHome);
}

void OutputFolderPresenter::RadioButton4Click() { view_->SetBrowseButtonVisible(true); }

void OutputFolderPresenter::BrowseButtonClick() {
  SaveFileRequest request;
  request.pick_folder = true;
  request.initial_path = FolderPartOf(*output_path_);
  std::string chosen;
  if (!file_dialog_->Run(request, &chosen) || chosen.empty()) return;
  if (chosen.size() > 1 && chosen.back() == '/') chosen.pop_back();
  Choose(chosen, OutputFolderChoice::kHome);
}

std::string OutputFolderPresenter::TeButton2Click() {
  std::string folder = FolderPartOf(*output_path_);
  view_->Close();
  return folder;
}

void OutputFolderPresenter::Choose(const std::string& folder, OutputFolderChoice choice) {
  Store(PathInFolder(folder, choice, *output_path_, output_->format));
}

void OutputFolderPresenter::Store(const std::string& path) {
  *output_path_ = LimitOutputPath(path);
  WriteSettingText("OutputConfig", "LastOutput", *output_path_);
}

}  // namespace ovc
