#include "ui/dialogs/save_profile_prompt.h"

#include <gtest/gtest.h>

namespace ovc {
namespace {

class FakeSaveProfileView : public SaveProfileView {
 public:
  std::string ProfileName() const override { return name; }
  void SetProfileName(const std::string& text) override { name = text; }
  std::string name;
};

TEST(SaveProfilePrompt, FillsOnlyAnEmptyEditFromTheSelectedProfile) {
  FakeSaveProfileView view;
  SaveProfilePrompt prompt(&view);

  prompt.FormShow(std::nullopt);
  EXPECT_EQ(prompt.ProfileName(), "");

  prompt.FormShow(std::string("PSP 320x240"));
  EXPECT_EQ(prompt.ProfileName(), "PSP 320x240");

  // Saving twice in a row offers the name typed the first time.
  view.name = "my psp";
  prompt.FormShow(std::string("iPod"));
  EXPECT_EQ(prompt.ProfileName(), "my psp");
}

}  // namespace
}  // namespace ovc
