#include "ui/batch/batch_defaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "settings/settings_store.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

int IndexOf(const BatchDefaults& defaults, const std::string& name) {
  auto at = std::find(defaults.profiles.begin(), defaults.profiles.end(), name);
  return at == defaults.profiles.end() ? -1 : static_cast<int>(at - defaults.profiles.begin());
}

// The window starts where the converter without options would: the stored
// profile, folder, passes and split size.
TEST(BatchDefaults, AreWhatTheConverterWouldTakeFromTheStore) {
  test::TempWorld world;
  world.SetEnv("HOME", world.home());
  ASSERT_EQ(WriteSettingText("OutputConfig", "last_profile", "iPod"), 0);
  ASSERT_EQ(WriteSettingText("OutputConfig", "LastOutput", "/films/done/last one.avi"), 0);
  ASSERT_EQ(WriteSettingInt("OutputConfig", "n_pass", 2), 0);
  ASSERT_EQ(WriteSettingInt("OutputConfig", "Volume", 700), 0);

  const BatchDefaults defaults = ReadBatchDefaults();
  ASSERT_GE(defaults.profiles.size(), 2u) << "the shipped profiles were not prepared";
  EXPECT_EQ(defaults.profile_index, IndexOf(defaults, "iPod"));
  EXPECT_EQ(defaults.output_folder, "/films/done/");
  EXPECT_EQ(defaults.passes, 2);
  EXPECT_EQ(defaults.stored_split_mb, 700);
}

TEST(BatchDefaults, AProfileThatIsGoneFallsBackToTheFirst) {
  test::TempWorld world;
  world.SetEnv("HOME", world.home());
  ASSERT_EQ(WriteSettingText("OutputConfig", "last_profile", "Removed Phone"), 0);
  ASSERT_EQ(WriteSettingText("OutputConfig", "LastOutput", "untitled"), 0);

  const BatchDefaults defaults = ReadBatchDefaults();
  ASSERT_FALSE(defaults.profiles.empty());
  EXPECT_EQ(defaults.profile_index, 0);
  EXPECT_EQ(IndexOf(defaults, "Removed Phone"), -1);
  // A stored path without a folder means the home folder.
  EXPECT_EQ(defaults.output_folder, world.home() + "/");
  EXPECT_EQ(defaults.passes, 1);
}

}  // namespace
}  // namespace ovc
