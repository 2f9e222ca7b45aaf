#pragma once

#include <QDialog>

#include <memory>
#include <string>

#include "engine/record/output_config.h"
#include "platform/shell/file_dialog.h"
#include "ui/dialogs/output_folder_presenter.h"

class QPushButton;
class QRadioButton;

namespace ovc {

// "Choose Default Output Folder ...": the form of OutputFolderPresenter.
// Created once and shown modally on demand; its radio buttons and the
// browse button's visibility keep their state between showings. Object
// names: "RadioButton1" … "RadioButton4", "BrowseButton", "TeButton2" (OK).
// All calls on the user interface thread.
class QtOutputFolderDialog : public QDialog, private OutputFolderView {
  Q_OBJECT

 public:
  // `output` (the format code) and `output_path` (the main window's output
  // file path, which each choice rewrites and stores at once) must outlive
  // the dialog. `file_dialog` answers "Browse folder here ..."; null uses the
  // toolkit's save dialog.
  QtOutputFolderDialog(const OutputConfig* output, std::string* output_path, QWidget* parent,
                       SaveFileDialog* file_dialog = nullptr);
  ~QtOutputFolderDialog() override;

  // Shows the dialog modally for the current profile (`psp_profile` names
  // the first choice "PSP Movie"). Returns the folder text that "OK" hands
  // to the main window's output folder edit: the output path before its
  // last '/'. Returns "" when the dialog was closed without "OK" (the
  // choices made meanwhile stay made).
  std::string Ask(bool psp_profile);

 private:
  // OutputFolderView
  void SetDesktopMovieFolderCaption(const std::string& caption) override;
  void SetHomeFolderCaption(const std::string& caption) override;
  void SetBrowseButtonVisible(bool visible) override;
  void Close() override;

  void BuildControls();

  std::unique_ptr<SaveFileDialog> own_file_dialog_;
  OutputFolderPresenter presenter_;
  std::string folder_;  // what "OK" handed back in the current showing

  // Owned by the dialog through the widget tree.
  QRadioButton* movie_folder_choice_ = nullptr;
  QRadioButton* home_choice_ = nullptr;
  QPushButton* browse_button_ = nullptr;
};

}  // namespace ovc
