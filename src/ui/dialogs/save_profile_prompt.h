#pragma once

#include <optional>
#include <string>

namespace ovc {

// Texts and results of the profile-name prompt.
namespace save_profile_text {
inline constexpr char kCaption[] = "Save the current settings to profile";
inline constexpr char kPrompt[] = "Enter profile name:";
inline constexpr char kOk[] = "OK";
inline constexpr char kCancel[] = "Cancel";
}  // namespace save_profile_text
inline constexpr int kSaveProfileOk = 1;      // result of "OK": save the profile
inline constexpr int kSaveProfileCancel = 2;  // result of "Cancel"

// The name edit of the prompt. Setters must not call back into the prompt.
class SaveProfileView {
 public:
  virtual ~SaveProfileView() = default;
  virtual std::string ProfileName() const = 0;
  virtual void SetProfileName(const std::string& name) = 0;
};

// The prompt for the name to save the current profile settings under, shown
// modally by the main window; the caller saves only after result 1 and
// reads the name from the edit. The edit keeps its text between showings.
class SaveProfilePrompt {
 public:
  explicit SaveProfilePrompt(SaveProfileView* view) : view_(view) {}

  // The prompt opens. `selected_profile` is the text of the main window's
  // selected profile list entry, nullopt when none is selected. Only an
  // empty edit is filled from it, so a name typed before is offered again.
  void FormShow(const std::optional<std::string>& selected_profile);

  // The text of the name edit.
  std::string ProfileName() const { return view_->ProfileName(); }

 private:
  SaveProfileView* view_;
};

}  // namespace ovc
