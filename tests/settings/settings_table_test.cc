#include "settings/settings_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

using test::TempWorld;

// What the program must see with an empty registry, row by row and in the
// order start-up loads them. "-" marks a setting without a default.
struct Expected {
  const char* path;
  SettingKind kind;
  const char* value;
  bool read_at_start_up;
};

const Expected kExpected[] = {
    {"dbg", SettingKind::kInteger, "0", true},
    {"adjust_speed", SettingKind::kInteger, "1", true},
    {"Version", SettingKind::kText, "4.0 Build 06", false},
    {"WindowSize", SettingKind::kText, "-", false},
    {"URL\\home", SettingKind::kText, "http://www.orvane.com/", false},
    {"OutputConfig\\format", SettingKind::kInteger, "0", true},
    {"OutputConfig\\auto_stretch", SettingKind::kInteger, "0", true},
    {"OutputConfig\\n_pass", SettingKind::kInteger, "1", true},
    {"OutputConfig\\OutputFrameRate", SettingKind::kReal, "15", true},
    {"OutputConfig\\AudioVolume", SettingKind::kReal, "5", true},
    {"OutputConfig\\disable_screensaver", SettingKind::kInteger, "1", true},
    {"OutputConfig\\brightness_a", SettingKind::kInteger, "0", true},
    {"OutputConfig\\brightness_b", SettingKind::kReal, "1", true},
    {"OutputConfig\\LastOutput", SettingKind::kText, "<home>/untitled", true},
    {"OutputConfig\\Width", SettingKind::kInteger, "320", true},
    {"OutputConfig\\Height", SettingKind::kInteger, "240", true},
    {"OutputConfig\\VideoBitRate", SettingKind::kInteger, "240", true},
    {"OutputConfig\\left_right_channel", SettingKind::kInteger, "1", true},
    {"OutputConfig\\audio_quality_level", SettingKind::kInteger, "2", true},
    {"OutputConfig\\AudioSampling", SettingKind::kInteger, "0", true},
    {"OutputConfig\\stereo", SettingKind::kInteger, "0", true},
    {"OutputConfig\\Volume", SettingKind::kInteger, "2048", true},
    {"OutputConfig\\output_size", SettingKind::kReal, "250", true},
    {"OutputConfig\\VideoCodec", SettingKind::kText, "XviD MPEG-4 Codec", true},
    {"OutputConfig\\fcc_handler", SettingKind::kInteger, "1145656920", true},
    {"OutputConfig\\fcc_type", SettingKind::kInteger, "1667524982", true},
    {"OutputConfig\\last_profile", SettingKind::kText, "AVI", true},
    {"OutputConfig\\vc_aspect", SettingKind::kInteger, "0", true},
    {"OutputConfig\\file_number", SettingKind::kInteger, "-", false},
};

TEST(SettingsTableTest, EveryRowAndDefaultWithAnEmptyRegistry) {
  TempWorld world;
  world.SetEnv("HOME", world.home());
  ASSERT_EQ(std::size(kSettingsTable), std::size(kExpected));
  for (size_t i = 0; i < std::size(kExpected); ++i) {
    const SettingRow& setting = kSettingsTable[i];
    const Expected& expected = kExpected[i];
    SCOPED_TRACE(expected.path);
    EXPECT_EQ(SettingPath(setting), expected.path);
    EXPECT_EQ(setting.kind, expected.kind);
    EXPECT_EQ(setting.read_at_start_up, expected.read_at_start_up);
    std::string value = expected.value;
    if (value == "-") {
      EXPECT_EQ(setting.default_text, nullptr);
      continue;
    }
    if (value.rfind("<home>", 0) == 0) value = world.home() + value.substr(6);
    switch (setting.kind) {
      case SettingKind::kInteger:
        EXPECT_EQ(ReadSettingInt(setting), std::stoll(value));
        break;
      case SettingKind::kReal:
        EXPECT_EQ(ReadSettingReal(setting), std::stod(value));
        break;
      case SettingKind::kText:
        EXPECT_EQ(ReadSettingText(setting), value);
        break;
    }
  }
}

TEST(SettingsTableTest, StoredValuesWinOverDefaults) {
  TempWorld world;
  for (const SettingRow& setting : kSettingsTable) {
    switch (setting.kind) {
      case SettingKind::kInteger:
        WriteSettingInt(setting.group, setting.name, -7);
        EXPECT_EQ(ReadSettingInt(setting), -7) << setting.name;
        break;
      case SettingKind::kReal:
        WriteSettingReal(setting.group, setting.name, 29.97);
        EXPECT_EQ(ReadSettingReal(setting), 29.97) << setting.name;
        break;
      case SettingKind::kText:
        WriteSettingText(setting.group, setting.name, std::string("text of ") + setting.name);
        EXPECT_EQ(ReadSettingText(setting), std::string("text of ") + setting.name);
        break;
    }
  }
  EXPECT_EQ(ReadSettingText("URL\\home", ""), "text of home");
}

TEST(SettingsTableTest, FindsRowsByGroupAndName) {
  const SettingRow* home = FindSetting("URL", "home");
  ASSERT_NE(home, nullptr);
  EXPECT_STREQ(home->default_text, kVendorHomePage);
  EXPECT_NE(FindSetting("OutputConfig", "file_number"), nullptr);
  EXPECT_EQ(FindSetting("", "file_number"), nullptr);
  EXPECT_EQ(FindSetting("OutputConfig", "Missing"), nullptr);
}

}  // namespace
}  // namespace ovc
