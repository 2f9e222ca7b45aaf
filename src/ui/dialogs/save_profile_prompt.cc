#include "ui/dialogs/save_profile_prompt.h"

namespace ovc {

void SaveProfilePrompt::FormShow(const std::optional<std::string>& selected_profile) {
  if (view_->ProfileName().empty() && selected_profile) view_->SetProfileName(*selected_profile);
}

}  // namespace ovc
