#include "settings/setting_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/registry/registry_store.h"
#include "settings/settings_store.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

TEST(SettingRulesTest, SamplingRateCodes) {
  const std::pair<int, int> cases[] = {{0, 22050}, {1, 44100},  {2, 8000},  {3, 48000},
                                       {7, 48000}, {-1, 22050}, {-5, 22050}};
  for (const auto& [code, hz] : cases) EXPECT_EQ(SamplingRateFromCode(code), hz) << code;
}

TEST(SettingRulesTest, StereoCodes) {
  const std::pair<int, int> cases[] = {{0, 2}, {1, 2}, {2, 2}, {3, 1}, {4, 2}, {-3, 2}};
  for (const auto& [code, channels] : cases)
    EXPECT_EQ(ChannelsFromStereoCode(code), channels) << code;
}

// The slider stores both terms as settings; their texts are what later runs
// and other tools read.
TEST(SettingRulesTest, BrightnessLevelsAsStored) {
  test::TempWorld world;
  const struct {
    int level;
    const char* a;
    const char* b;
  } cases[] = {{0, "0", "1.0000000000"},  {1, "12", "1.1200000048"}, {2, "23", "1.2400000095"},
               {3, "35", "1.3600000143"}, {4, "35", "1.3600000143"}, {-1, "0", "1.0000000000"}};
  for (const auto& c : cases) {
    Brightness brightness = BrightnessForLevel(c.level);
    WriteSettingInt("OutputConfig", "brightness_a", brightness.a);
    WriteSettingReal("OutputConfig", "brightness_b", brightness.b);
    registry::Value a, b;
    auto store = registry::DefaultStore();
    store->QueryValue(registry::Hive::kCurrentUser, SettingsRoot() + "OutputConfig\\brightness_a",
                      "", &a);
    store->QueryValue(registry::Hive::kCurrentUser, SettingsRoot() + "OutputConfig\\brightness_b",
                      "", &b);
    EXPECT_EQ(a.data, c.a) << c.level;
    EXPECT_EQ(b.data, c.b) << c.level;
  }
}

TEST(SettingRulesTest, OutputExtensionsAndPaths) {
  const std::pair<int, const char*> cases[] = {{0, ".avi"}, {1, ".wmv"}, {2, ".MP4"}, {3, ".avi"},
                                               {4, ".MP4"}, {9, ".MP4"}, {-1, ".MP4"}};
  for (const auto& [format, extension] : cases)
    EXPECT_STREQ(OutputExtension(format), extension) << format;

  EXPECT_EQ(OutputPathForFormat("D:\\clips\\movie.part1\\title", 1), "D:\\clips\\movie.wmv");
  EXPECT_EQ(OutputPathForFormat("/home/u/untitled", 0), "/home/u/untitled.avi");
  EXPECT_EQ(OutputPathForFormat("/home/j.smith/untitled", 0), "/home/j.smith/untitled.avi");
  EXPECT_EQ(OutputPathForFormat("/home/u/clip.avi", 2), "/home/u/clip.MP4");
  EXPECT_EQ(OutputPathForFormat("", 3), ".avi");
}

TEST(SettingRulesTest, OutputSizeZeroMeans250) {
  EXPECT_EQ(OutputSizeFromStored(0.0), 250.0);
  EXPECT_EQ(OutputSizeFromStored(700.0), 700.0);
  EXPECT_EQ(OutputSizeFromStored(-1.0), -1.0);
}

}  // namespace
}  // namespace ovc
