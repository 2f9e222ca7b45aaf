#pragma once

#include <QDialog>

#include <string>

#include "ui/dialogs/save_profile_prompt.h"

class QLineEdit;

namespace ovc {

// "Save the current settings to profile": the profile-name prompt, the form
// of SaveProfilePrompt. Created once; the name edit ("ProfileNameEdit")
// keeps its text between showings, so a name typed before is offered again.
// Object names of the buttons: "OKBtn", "CancelBtn". All calls on the user
// interface thread.
class QtSaveProfileDialog : public QDialog, private SaveProfileView {
  Q_OBJECT

 public:
  explicit QtSaveProfileDialog(QWidget* parent);

  // Shows the prompt modally. `name` must not be null; on entry *name is
  // the main window's selected profile ("" when none is selected), and an
  // empty edit is filled with it. Returns true for "OK" (result
  // kSaveProfileOk) and sets *name to the edit's text; returns false for
  // "Cancel" or a closed window and leaves *name as it was.
  bool Ask(std::string* name);

 private:
  // SaveProfileView
  std::string ProfileName() const override;
  void SetProfileName(const std::string& name) override;

  SaveProfilePrompt prompt_;
  QLineEdit* name_edit_ = nullptr;  // owned through the widget tree
};

}  // namespace ovc
