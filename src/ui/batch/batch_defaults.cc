#include "ui/batch/batch_defaults.h"

#include "common/paths.h"
#include "engine/record/output_config.h"
#include "ui/main/profile_panel.h"
#include "ui/main/startup.h"

namespace ovc {
namespace {

// Keeps what the profile list shows; the panel is used for its choices only,
// so nothing here is ever shown or asked.
class ProfileChoices : public ProfilePanelView, public ProfilePanelHost {
 public:
  void SetProfileItems(const std::vector<std::string>& names) override {
    names_ = names;
    selection_ = -1;
  }
  void SetProfileSelection(int index) override { selection_ = index; }
  void SetTimeRows(const std::vector<ValueRow>&) override {}
  void SetVideoRows(const std::vector<ValueRow>&) override {}
  void SetAudioRows(const std::vector<ValueRow>&) override {}
  void SetMbPerMinuteText(const std::string&) override {}
  void SetEstimatedSizeText(const std::string&) override {}
  void SetSaveThumbnailVisible(bool) override {}
  void SetOutputFolderText(const std::string& text) override { folder_ = text; }

  bool AskProfileName(std::string*) override { return false; }
  bool BrowseForFolder(const std::string&, std::string*) override { return false; }
  void OpenFolder(const std::string&) override {}

  std::vector<std::string> names_;
  int selection_ = -1;
  std::string folder_;
};

}  // namespace

BatchDefaults ReadBatchDefaults() {
  PrepareProgramFolder();
  OutputConfig output;
  StartupSettings settings;
  LoadSettings(&output, &settings);
  std::string output_path = settings.output_path;

  ProfileChoices choices;
  ProfilePanel panel(&choices, &choices, &output, &output_path);
  panel.LoadProfileList();
  panel.InitOutputFolder();

  BatchDefaults defaults;
  defaults.profiles = choices.names_;
  defaults.profile_index = choices.selection_;
  defaults.output_folder = choices.folder_;
  defaults.passes = output.n_pass == 2 ? 2 : 1;
  defaults.stored_split_mb = output.split_size;
  return defaults;
}

}  // namespace ovc
