#include "platform/registry/reg_file_import.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/trace.h"
#include "support/temp_world.h"

namespace ovc::registry {
namespace {

using test::TempWorld;

constexpr Hive kCu = Hive::kCurrentUser;
constexpr Hive kLm = Hive::kLocalMachine;

const char kV5[] = "Windows Registry Editor Version 5.00";

// The same script body in every header and encoding below.
const char kBody[] =
    "\n"
    "; codec settings\n"
    "[HKEY_CURRENT_USER\\Software\\Test\\Codec]\n"
    "\"Name\"=\"XviD \\\"fast\\\" C:\\\\codecs\\\\xvid\"\n"
    "@=\"the default\"\n"
    "\"Quality\"=dword:0000000a\n"
    "\"Max\"=DWORD:ffffffff\n"
    "\"Blob\"=hex:00,01,7f,\\\n"
    "  80,ff\n"
    "\"Empty\"=hex:\n"
    "\"Multi\"=hex(7):41,00,00,00\n"
    "\"Unicode\"=\"\xC3\xA9t\xC3\xA9\"\n"
    "\n"
    "[HKCU\\Software\\Test\\Short]\n"
    "\"Path\"=\"a = b\"\n"
    "[HKLM\\SOFTWARE\\Test]\n"
    "\"Machine\"=dword:1\n";

std::string Utf16Le(const std::string& utf8) {
  // The test texts hold ASCII and two-byte sequences only.
  std::string out = "\xFF\xFE";
  for (size_t i = 0; i < utf8.size(); ++i) {
    uint32_t c = static_cast<uint8_t>(utf8[i]);
    if (c >= 0xC0) c = ((c & 0x1F) << 6) | (static_cast<uint8_t>(utf8[++i]) & 0x3F);
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += "\r\n";
    else
      out.push_back(c);
  }
  return out;
}

struct Encoding {
  const char* label;
  std::string (*encode)(const std::string& body);
};

void PrintTo(const Encoding& encoding, std::ostream* out) { *out << encoding.label; }

class RegImportEncodingTest : public ::testing::TestWithParam<Encoding> {};

TEST_P(RegImportEncodingTest, ImportsEveryValueKind) {
  TempWorld world;
  const std::string file = world.Path("codec.reg");
  test::WriteFile(file, GetParam().encode(kBody));
  Store store(world.registry());
  int malformed = -1;
  ASSERT_EQ(ImportRegFile(file, store, &malformed), kSuccess);
  EXPECT_EQ(malformed, 0);

  struct Expected {
    Hive hive;
    const char* key;
    const char* name;
    uint32_t type;
    std::string data;
  };
  const Expected expected[] = {
      {kCu, "Software\\Test\\Codec", "Name", kRegSz, "XviD \"fast\" C:\\codecs\\xvid"},
      {kCu, "Software\\Test\\Codec", "", kRegSz, "the default"},
      {kCu, "Software\\Test\\Codec", "Quality", kRegDword, std::string("\x0a\0\0\0", 4)},
      {kCu, "Software\\Test\\Codec", "Max", kRegDword, "\xff\xff\xff\xff"},
      {kCu, "Software\\Test\\Codec", "Blob", kRegBinary, std::string("\x00\x01\x7f\x80\xff", 5)},
      {kCu, "Software\\Test\\Codec", "Empty", kRegBinary, ""},
      {kCu, "Software\\Test\\Codec", "Multi", 7, std::string("A\0\0\0", 4)},
      {kCu, "Software\\Test\\Codec", "Unicode", kRegSz, "\xC3\xA9t\xC3\xA9"},
      {kCu, "Software\\Test\\Short", "Path", kRegSz, "a = b"},
      {kLm, "Software\\Test", "Machine", kRegDword, std::string("\x01\0\0\0", 4)},
  };
  for (const Expected& e : expected) {
    Value read;
    ASSERT_EQ(store.QueryValue(e.hive, e.key, e.name, &read), kSuccess) << e.key << " " << e.name;
    EXPECT_EQ(read.type, e.type) << e.name;
    EXPECT_EQ(read.data, e.data) << e.name;
  }
  std::vector<NamedValue> values;
  store.ListValues(kCu, "Software\\Test\\Codec", &values);
  EXPECT_EQ(values.size(), 8u);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, RegImportEncodingTest,
    ::testing::Values(
        Encoding{"Version5Utf8", [](const std::string& b) { return kV5 + b; }},
        Encoding{"Version5Utf8Bom",
                 [](const std::string& b) { return "\xEF\xBB\xBF" + (kV5 + b); }},
        Encoding{"Version5Utf16", [](const std::string& b) { return Utf16Le(WithCrLf(kV5 + b)); }},
        Encoding{"Regedit4", [](const std::string& b) { return "REGEDIT4" + b; }},
        Encoding{"Regedit4CrLf", [](const std::string& b) { return WithCrLf("REGEDIT4" + b); }}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RegImportTest, DeletesKeysAndValues) {
  TempWorld world;
  Store store(world.registry());
  store.SetValue(kCu, "Software\\Old\\Deep", "x", TextValue("1"));
  store.SetValue(kCu, "Software\\Keep", "gone", TextValue("1"));
  store.SetValue(kCu, "Software\\Keep", "", TextValue("default"));
  store.SetValue(kCu, "Software\\Keep", "stays", TextValue("1"));
  const std::string file = world.Path("del.reg");
  test::WriteFile(file, std::string(kV5) +
                            "\n[-HKEY_CURRENT_USER\\Software\\Old]\n"
                            "[HKEY_CURRENT_USER\\Software\\Keep]\n"
                            "\"GONE\"=-\n"
                            "@=-\n"
                            "[-HKCU\\Software\\NeverExisted]\n");
  int malformed = -1;
  ASSERT_EQ(ImportRegFile(file, store, &malformed), kSuccess);
  EXPECT_EQ(malformed, 0);
  EXPECT_EQ(store.OpenKey(kCu, "Software\\Old"), kFileNotFound);
  std::vector<NamedValue> values;
  store.ListValues(kCu, "Software\\Keep", &values);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, "stays");
}

struct BadLine {
  std::string text;
  int counted;  // lines counted as malformed
};

void PrintTo(const BadLine& line, std::ostream* out) {
  *out << ::testing::PrintToString(line.text);
}

class RegImportMalformedTest : public ::testing::TestWithParam<BadLine> {};

// Each bad line is skipped and counted; the lines around it still apply.
TEST_P(RegImportMalformedTest, IsSkippedAndCounted) {
  TempWorld world;
  const std::string file = world.Path("bad.reg");
  test::WriteFile(file, std::string(kV5) + "\n[HKCU\\T]\n\"before\"=\"1\"\n" + GetParam().text +
                            "\n[HKCU\\T]\n\"after\"=\"2\"\n");
  Store store(world.registry());
  int malformed = -1;
  ASSERT_EQ(ImportRegFile(file, store, &malformed), kSuccess);
  EXPECT_EQ(malformed, GetParam().counted);
  std::vector<NamedValue> values;
  store.ListValues(kCu, "T", &values);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].name, "after");
  EXPECT_EQ(values[1].name, "before");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RegImportMalformedTest,
    ::testing::Values(
        BadLine{"\"a\"=\"no closing quote", 1}, BadLine{"\"a\"=\"unknown \\n escape\"", 1},
        BadLine{"\"a\"=\"ends in backslash\\", 1}, BadLine{"\"a\"=\"text\" trailing", 1},
        BadLine{"\"a\"=dword:123456789", 1}, BadLine{"\"a\"=dword:", 1},
        BadLine{"\"a\"=dword:-1", 1}, BadLine{"\"a\"=hex:0g", 1}, BadLine{"\"a\"=hex:123", 1},
        BadLine{"\"a\"=hex:01,,02", 1}, BadLine{"\"a\"=hex:,", 1},
        BadLine{"\"a\"=hex(100000000):00", 1}, BadLine{"\"a\"=hex(7:00", 1},
        BadLine{"\"a\"=hex(7)00", 1}, BadLine{"\"a\"=hex:01,\\\n  zz", 1},  // one logical line
        BadLine{"\"a\"=sz:\"x\"", 1}, BadLine{"\"a\"", 1}, BadLine{"\"a\"\"b\"=\"c\"", 1},
        BadLine{"@", 1}, BadLine{"name=\"unquoted\"", 1}, BadLine{"[HKCU\\T", 1},
        BadLine{"[HKEY_CLASSES_ROOT\\T]\n\"x\"=\"1\"", 2}, BadLine{"[]\n\"x\"=\"1\"", 2},
        BadLine{"[-HKCU\\Gone]\n\"x\"=\"1\"", 1},
        BadLine{"[HKCU\\" + std::string(300, 'k') + "]\n\"x\"=\"1\"", 2}));

TEST(RegImportTest, NotAScriptChangesNothing) {
  TempWorld world;
  Store store(world.registry());
  std::string random;
  uint32_t state = 99;
  for (int i = 0; i < 4096; ++i) {
    state = state * 1664525u + 1013904223u;
    random.push_back(static_cast<char>(state >> 24));
  }
  const std::pair<const char*, std::string> files[] = {
      {"random.reg", random},
      {"empty.reg", ""},
      {"blank.reg", "\n\n   \n"},
      {"noheader.reg", "[HKEY_CURRENT_USER\\X]\n\"a\"=\"b\"\n"},
      {"otherheader.reg", "Windows Registry Editor Version 6.00\n[HKCU\\X]\n"},
  };
  for (const auto& [name, bytes] : files) {
    test::WriteFile(world.Path(name), bytes);
    EXPECT_EQ(ImportRegFile(world.Path(name), store), kInvalidData) << name;
  }
  EXPECT_EQ(ImportRegFile(world.Path("missing.reg"), store), kFileNotFound);
  EXPECT_EQ(ImportRegFile(world.root(), store), kFileNotFound);  // a folder
  std::vector<std::string> keys;
  store.ListSubkeys(kCu, "", &keys);
  EXPECT_TRUE(keys.empty());
}

TEST(RegImportTest, SkippedLinesAreTracedAndTheDefaultStoreIsUsed) {
  TempWorld world;
  const std::string file = world.Path("url.reg");
  test::WriteFile(file,
                  "REGEDIT4\n[HKCU\\U]\n@=\"http://example.invalid/\"\nnonsense\n\"x\"=dword:zz\n");
  ASSERT_EQ(ImportRegFile(file), kSuccess);
  Value read;
  ASSERT_EQ(DefaultStore()->QueryValue(kCu, "U", "", &read), kSuccess);
  EXPECT_EQ(read.data, "http://example.invalid/");

  std::istringstream log(test::ReadFile(TraceLogPath()));
  bool traced = false;
  for (std::string line; std::getline(log, line);) {
    uint32_t tick = 0;
    std::string message;
    if (UnscrambleTraceLine(line, &tick, &message) && message.find(file) != std::string::npos)
      traced = message.find("2 malformed lines skipped") != std::string::npos;
  }
  EXPECT_TRUE(traced);
}

}  // namespace
}  // namespace ovc::registry
