#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

#include "platform/registry/registry_store.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

using registry::Hive;
using test::TempWorld;

const std::string kRoot = "Software\\Orvane\\Orvane Video Converter Zezivovi\\";

// Puts a raw default value on the setting's key, as an imported script or
// an older version might have left it.
void StoreRaw(const std::string& relative_path, const registry::Value& value) {
  ASSERT_EQ(
      registry::DefaultStore()->SetValue(Hive::kCurrentUser, kRoot + relative_path, "", value),
      registry::kSuccess);
}

// The stored default value of the setting's key.
registry::Value Raw(const std::string& relative_path) {
  registry::Value value;
  registry::DefaultStore()->QueryValue(Hive::kCurrentUser, kRoot + relative_path, "", &value);
  return value;
}

TEST(SettingsStoreTest, EachSettingIsAKeyWithATextDefaultValue) {
  TempWorld world;
  ASSERT_EQ(WriteSettingInt("OutputConfig", "Width", 640), 0);
  ASSERT_EQ(WriteSettingText("", "Version", "4.0 Build 06"), 0);
  registry::Value width = Raw("OutputConfig\\Width");
  EXPECT_EQ(width.type, registry::kRegSz);
  EXPECT_EQ(width.data, "640");  // no terminator stored
  EXPECT_EQ(Raw("Version").data, "4.0 Build 06");

  std::vector<std::string> keys;
  registry::DefaultStore()->ListSubkeys(Hive::kCurrentUser, kRoot, &keys);
  EXPECT_EQ(keys, (std::vector<std::string>{"OutputConfig", "Version"}));
  // Key names ignore case: a reader need not match the writer's spelling.
  EXPECT_EQ(ReadSettingInt("outputconfig\\WIDTH", 1), 640);
}

struct IntCase {
  const char* stored;
  int expected;
};

void PrintTo(const IntCase& c, std::ostream* out) { *out << '"' << c.stored << '"'; }

class ReadSettingIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(ReadSettingIntTest, ConvertsTheStoredText) {
  TempWorld world;
  StoreRaw("OutputConfig\\n", registry::TextValue(GetParam().stored));
  EXPECT_EQ(ReadSettingInt("OutputConfig\\n", 777), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadSettingIntTest,
    ::testing::Values(IntCase{"42", 42}, IntCase{"-1", -1}, IntCase{"+7", 7},
                      IntCase{" \t\n 12", 12}, IntCase{"12abc", 12}, IntCase{"3.9", 3},
                      IntCase{"1e3", 1}, IntCase{"0x1A", 0}, IntCase{"abc", 0},  // not the default
                      IntCase{"", 0}, IntCase{"-", 0}, IntCase{"- 5", 0},
                      IntCase{"2147483647", INT_MAX}, IntCase{"2147483648", INT_MAX},
                      IntCase{"-2147483648", INT_MIN}, IntCase{"-99999999999999999999", INT_MIN}));

struct RealCase {
  const char* stored;
  double expected;
};

void PrintTo(const RealCase& c, std::ostream* out) { *out << '"' << c.stored << '"'; }

class ReadSettingRealTest : public ::testing::TestWithParam<RealCase> {};

TEST_P(ReadSettingRealTest, ConvertsTheStoredText) {
  TempWorld world;
  StoreRaw("r", registry::TextValue(GetParam().stored));
  EXPECT_EQ(ReadSettingReal("r", 9.5), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, ReadSettingRealTest,
                         ::testing::Values(RealCase{"15.0000000000", 15.0},
                                           RealCase{"1.1200000048", 1.1200000048},
                                           RealCase{" -2.5e2xyz", -250.0}, RealCase{".5", 0.5},
                                           RealCase{"5.", 5.0}, RealCase{"1e", 1.0},
                                           RealCase{"1,5", 1.0}, RealCase{"abc", 0.0},
                                           RealCase{"", 0.0}, RealCase{"inf", 0.0},
                                           RealCase{"nan", 0.0}, RealCase{"0x10", 0.0}));

TEST(SettingsStoreTest, WrittenTexts) {
  TempWorld world;
  struct {
    int (*write)();
    const char* name;
    const char* text;
  } const cases[] = {
      {[] { return WriteSettingInt("", "a", -1); }, "a", "-1"},
      {[] { return WriteSettingInt("", "b", INT_MIN); }, "b", "-2147483648"},
      {[] { return WriteSettingReal("", "c", 15); }, "c", "15.0000000000"},
      {[] { return WriteSettingReal("", "d", 1.12f); }, "d", "1.1200000048"},
      {[] { return WriteSettingReal("", "e", -0.5); }, "e", "-0.5000000000"},
      {[] { return WriteSettingReal("", "f", 2.0 / 3.0); }, "f", "0.6666666667"},
      {[] { return WriteSettingReal("", "g", 1e20); }, "g", "100000000000000000000.0000000000"},
      {[] { return WriteSettingText("", "h", "C:\\untitled"); }, "h", "C:\\untitled"},
      {[] { return WriteSettingText("", "i", ""); }, "i", ""},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(c.write(), 0) << c.name;
    registry::Value value = Raw(c.name);
    EXPECT_EQ(value.type, registry::kRegSz) << c.name;
    EXPECT_EQ(value.data, c.text) << c.name;
  }
  // An empty text reads as 0, not as the default.
  EXPECT_EQ(ReadSettingInt("i", 5), 0);
  EXPECT_EQ(ReadSettingReal("i", 5), 0.0);
  EXPECT_EQ(ReadSettingText("i", "default"), "");
}

TEST(SettingsStoreTest, FailedReadsGiveTheDefault) {
  TempWorld world;
  EXPECT_EQ(ReadSettingInt("OutputConfig\\Width", 320), 320);
  EXPECT_EQ(ReadSettingReal("OutputConfig\\OutputFrameRate", 15.0), 15.0);
  EXPECT_EQ(ReadSettingText("URL\\home", "fallback"), "fallback");

  // A key without a default value is no setting.
  registry::DefaultStore()->SetValue(Hive::kCurrentUser, kRoot + "NoDefault", "named",
                                     registry::TextValue("5"));
  EXPECT_EQ(ReadSettingInt("NoDefault", 8), 8);
}

TEST(SettingsStoreTest, TextReadsHoldAtMost511Bytes) {
  TempWorld world;
  const std::string longest(511, 'x');
  WriteSettingText("OutputConfig", "LastOutput", longest);
  EXPECT_EQ(ReadSettingText("OutputConfig\\LastOutput", "d"), longest);
  WriteSettingText("OutputConfig", "LastOutput", longest + "y");
  EXPECT_EQ(ReadSettingText("OutputConfig\\LastOutput", "d"), "d");
  WriteSettingText("", "n", std::string(600, '7'));
  EXPECT_EQ(ReadSettingInt("n", 3), 3);
}

TEST(SettingsStoreTest, ValuesOfOtherTypes) {
  TempWorld world;
  StoreRaw("dword", registry::DwordValue(640));
  EXPECT_EQ(ReadSettingInt("dword", 1), 640);
  EXPECT_EQ(ReadSettingText("dword", "d"), "640");
  // Bytes read as text up to their first zero.
  StoreRaw("binary", registry::BinaryValue(std::string("12\0junk", 7)));
  EXPECT_EQ(ReadSettingInt("binary", 1), 12);
  EXPECT_EQ(ReadSettingText("binary", "d"), "12");
}

struct PassModeCase {
  const char* label;
  int n_pass;
  int pass;
  uint32_t fcc;
  const char* key;  // nullptr: nothing may be written
  const char* name;
  uint32_t mode;
};

void PrintTo(const PassModeCase& c, std::ostream* out) { *out << c.label; }

class SetCodecPassModeTest : public ::testing::TestWithParam<PassModeCase> {};

TEST_P(SetCodecPassModeTest, WritesTheCodecsMode) {
  TempWorld world;
  const PassModeCase& c = GetParam();
  EXPECT_EQ(SetCodecPassMode(c.n_pass, c.pass, c.fcc), 0);
  std::vector<std::string> software;
  registry::DefaultStore()->ListSubkeys(Hive::kCurrentUser, "Software", &software);
  if (!c.key) {
    EXPECT_TRUE(software.empty());
    return;
  }
  EXPECT_EQ(software.size(), 1u);  // the other codec's key stays untouched
  registry::Value value;
  ASSERT_EQ(registry::DefaultStore()->QueryValue(Hive::kCurrentUser, c.key, c.name, &value),
            registry::kSuccess);
  uint32_t mode = 99;
  ASSERT_TRUE(registry::DwordOf(value, &mode));
  EXPECT_EQ(mode, c.mode);
}

constexpr const char kXvidKey[] = "Software\\GNU\\XviD";
constexpr const char kDivxKey[] = "Software\\DivXNetworks\\DivX4Windows";

INSTANTIATE_TEST_SUITE_P(
    Codecs, SetCodecPassModeTest,
    ::testing::Values(PassModeCase{"XvidOnePass", 1, 1, kFourccXvid, kXvidKey, "mode", 0},
                      PassModeCase{"XvidFirstOfTwo", 2, 1, kFourccXvid, kXvidKey, "mode", 1},
                      PassModeCase{"XvidSecondOfTwo", 2, 2, kFourccXvid, kXvidKey, "mode", 2},
                      PassModeCase{"XvidOtherPass", 2, 3, kFourccXvid, kXvidKey, "mode", 0},
                      PassModeCase{"DivxOnePass", 1, 1, kFourccDivx, kDivxKey, "VBR Mode", 0},
                      PassModeCase{"DivxFirstOfTwo", 2, 1, kFourccDivx, kDivxKey, "VBR Mode", 2},
                      PassModeCase{"DivxSecondOfTwo", 2, 2, kFourccDivx, kDivxKey, "VBR Mode", 3},
                      PassModeCase{"OtherCodec", 2, 1, 0x47504A4D /* "MJPG" */, nullptr, nullptr,
                                   0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SetCodecPassModeTest, FourccsAreTheLittleEndianCharacters) {
  EXPECT_EQ(kFourccXvid, 1145656920u);
  auto fourcc = [](const char* c) {
    return uint32_t(uint8_t(c[0])) | uint32_t(uint8_t(c[1])) << 8 | uint32_t(uint8_t(c[2])) << 16 |
           uint32_t(uint8_t(c[3])) << 24;
  };
  EXPECT_EQ(kFourccXvid, fourcc("XVID"));
  EXPECT_EQ(kFourccDivx, fourcc("DIVX"));
}

}  // namespace
}  // namespace ovc
