#include "engine/record/profile.h"

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_world.h"

namespace ovc {

// Readable failure output for whole-profile comparisons.
void PrintTo(const CProfile& p, std::ostream* out) {
  *out << "name=\"" << p.name << "\" t=" << p.t << " ss=" << p.ss << " an=" << p.an
       << " ab=" << p.ab << " ar=" << p.ar << " ac=\"" << p.ac << "\" aformat=\"" << p.aformat
       << "\" (" << p.aformat_choices.size() << " choices)\n"
       << p.ToText();
}

namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;
using test::ReadFile;
using test::TempWorld;
using test::WriteFile;
using Choices = std::vector<std::string>;

// A profile with every field set (to values a conversion accepts), so that a
// field a line must not touch shows up when it changes.
CProfile FilledProfile() {
  CProfile p;
  p.name = "before";
  p.device = "dev";
  p.fileext = "ext";
  p.t = 11;
  p.ss = 22;
  p.vcodec = "vc";
  p.vcodec_choices = {"vc", "vc2"};
  p.s = "176x144";
  p.s_choices = {"176x144"};
  p.b = 33;
  p.b_choices = {"33"};
  p.r = 4.5;
  p.r_choices = {"4.5"};
  p.acodec = "aco";
  p.acodec_choices = {"aco"};
  p.aformat = "afo";
  p.aformat_choices = {"afo"};
  p.ab = 44;
  p.ab_choices = {"44"};
  p.ar = 22050;
  p.ar_choices = {"22050"};
  p.ac = "1";
  p.ac_choices = {"1"};
  p.an = 7;
  return p;
}

struct ParseCase {
  const char* label;
  std::string text;
  std::function<void(CProfile&)> expect;  // turns FilledProfile() into the result
};

void PrintTo(const ParseCase& c, std::ostream* out) { *out << c.label; }

class ProfileParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ProfileParseTest, AppliesLinesByTheTokenRules) {
  CProfile profile = FilledProfile();
  profile.ParseText(GetParam().text);
  CProfile expected = FilledProfile();
  GetParam().expect(expected);
  EXPECT_EQ(profile, expected);
}

const ParseCase kParseCases[] = {
    {"ValueAndQuotedChoices", "b = 300 { \"150\", \"300\" }",
     [](CProfile& p) {
       p.b = 300;
       p.b_choices = {"150", "300"};
     }},
    {"QuotedValueKeepsSpacesAndSeparators",
     "vcodec = \"Windows Media Video 9\" { \"a, b\", \"{c} = d\" }",
     [](CProfile& p) {
       p.vcodec = "Windows Media Video 9";
       p.vcodec_choices = {"a, b", "{c} = d"};
     }},
    {"UnquotedSizeWithoutList", "s = 320x240",
     [](CProfile& p) {
       p.s = "320x240";
       p.s_choices.clear();
     }},
    {"UnquotedTrailingSpaceCutInnerKept", "acodec =   my codec  \t, other one  }   ",
     [](CProfile& p) {
       p.acodec = "my codec";
       p.acodec_choices = {"other one"};
     }},
    {"LeadingSeparatorsSkipped", " ==,{ vcodec ,,= {xvid}}",
     [](CProfile& p) {
       p.vcodec = "xvid";
       p.vcodec_choices.clear();
     }},
    {"EmptyChoicesSkipped", "vcodec = xvid { \"\", \"mpeg4\", \"\" }",
     [](CProfile& p) {
       p.vcodec = "xvid";
       p.vcodec_choices = {"mpeg4"};
     }},
    {"QuotedEmptyValueIsEmpty", "s = \"\" { \"320x240\", \"368x208\" }",
     [](CProfile& p) {
       p.s = "";
       p.s_choices = {"320x240", "368x208"};
     }},
    {"UnterminatedQuoteRunsToLineEnd", "vcodec = \"open, { text\nb = 9",
     [](CProfile& p) {
       p.vcodec = "open, { text";
       p.vcodec_choices.clear();
       p.b = 9;
       p.b_choices.clear();
     }},
    {"QuoteInsideUnquotedTokenStays", "ac = 2\"x { 1 }",
     [](CProfile& p) {
       p.ac = "2\"x";
       p.ac_choices = {"1"};
     }},
    {"KeyAloneChangesNothing", "vcodec\nb =\ns = { }\n", [](CProfile&) {}},
    {"UnknownAndMiscasedKeysIgnored", "vcodecs = x\nVCODEC = y\n# b = 1\n", [](CProfile&) {}},
    {"LaterLineOverwritesValueAndList", "vcodec = a { b, c }\nvcodec = d",
     [](CProfile& p) {
       p.vcodec = "d";
       p.vcodec_choices.clear();
     }},
    {"CrLfLineEnds", "vcodec = \"h264\" { \"h264\" }\r\nac = \"open\r\nb = 1 \r\n",
     [](CProfile& p) {
       p.vcodec = "h264";
       p.vcodec_choices = {"h264"};
       p.ac = "open";
       p.ac_choices.clear();
       p.b = 1;
       p.b_choices.clear();
     }},
    {"NulEndsTheLineText", "vcodec = xv\0id { a }\nb = 5"s,
     [](CProfile& p) {
       p.vcodec = "xv";
       p.vcodec_choices.clear();
       p.b = 5;
       p.b_choices.clear();
     }},
    {"DeviceAndFileextTakeNoList", "device = \"PSP\" { x }\nfileext = MP4",
     [](CProfile& p) {
       p.device = "PSP";
       p.fileext = "MP4";
     }},
    {"StartLengthAndAn", "t = 90\nss = 30 \nan = 1",
     [](CProfile& p) {
       p.t = 90;
       p.ss = 30;
       p.an = 1;
     }},
    {"IntegersReadLikeAtoi", "b = 384 kbps\nab = abc\nar = \"  -12\"",
     [](CProfile& p) {
       p.b = 384;
       p.b_choices.clear();
       p.ab = 0;
       p.ab_choices.clear();
       p.ar = -12;
       p.ar_choices.clear();
     }},
    {"IntegersClampedTo32Bits", "b = 99999999999\nab = -99999999999",
     [](CProfile& p) {
       p.b = 2147483647;
       p.b_choices.clear();
       p.ab = -2147483647 - 1;
       p.ab_choices.clear();
     }},
    {"FrameRateReal", "r = 14.985 { 14.985, 29.97 }",
     [](CProfile& p) {
       p.r = 14.985;
       p.r_choices = {"14.985", "29.97"};
     }},
    {"FrameRateLeadingNumber", "r = 25fps",
     [](CProfile& p) {
       p.r = 25;
       p.r_choices.clear();
     }},
    {"FrameRateNotFiniteReadsZero", "r = nan { inf }\nr = 1e999",
     [](CProfile& p) {
       p.r = 0;
       p.r_choices.clear();
     }},
};

INSTANTIATE_TEST_SUITE_P(Lines, ProfileParseTest, testing::ValuesIn(kParseCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ProfileTest, WindowsMediaDetection) {
  const std::pair<const char*, bool> cases[] = {
      {"Windows Media Video 9", true}, {"Windows Media Video 7", true},
      {"WMV3", true},                  {"Windows Media", true},
      {"wmv", false},                  {"windows media video 9", false},
      {" WMV", false},                 {"xvid", false},
      {"", false},                     {"WM", false},
  };
  for (const auto& [codec, expected] : cases) {
    CProfile p;
    p.vcodec = codec;
    EXPECT_EQ(p.IsWindowsMedia(), expected) << codec;
  }
}

TEST(ProfileTest, SaveWritesTheFixedLayout) {
  TempWorld world;
  CProfile p = FilledProfile();
  p.device = "PSP";
  p.fileext = "MP4";
  p.t = 90;  // never written back
  p.vcodec = "mpeg4";
  p.vcodec_choices = {"mpeg4", "h264"};
  p.s = "320x240";
  p.s_choices = {};
  p.b = 384;
  p.b_choices = {"384"};
  p.r = 29.97;
  p.r_choices = {"14.985", "29.97"};
  p.acodec = "aac";
  p.ac = "2";
  p.ab = 128;
  p.ar = 48000;
  ASSERT_EQ(p.Save("Mine"), 0);
  EXPECT_EQ(ReadFile(world.Path("home/profile/Mine.pr")),
            "device  = \"PSP\" \n"
            "fileext = \"MP4\" \n"
            "t       = 0 \n"
            "ss      = 0 \n"
            "vcodec  = \"mpeg4\" { \"mpeg4\", \"h264\" }\n"
            "s\t    = \"320x240\" \n"
            "b\t    = 384 { \"384\" }\n"
            "r       = 29.97 { \"14.985\", \"29.97\" }\n"
            "acodec  = \"aac\" { \"aco\" }\n"
            "ac\t    = \"2\" { \"1\" }\n"
            "ab\t    = 128 { \"44\" }\n"
            "ar\t    = 48000 { \"22050\" }\n");
}

TEST(ProfileTest, WindowsMediaProfileWritesOnlyCodecAndFormatAfterFrameRate) {
  CProfile p = FilledProfile();
  p.device = "";
  p.fileext = "wmv";
  p.vcodec = "Windows Media Video 8";
  p.vcodec_choices = {"Windows Media Video 8", "Windows Media Video 7"};
  p.r = 15;
  p.acodec = "Windows Media Audio 9.2";
  p.aformat = "64 kbps, 44 kHz, stereo CBR";
  EXPECT_EQ(p.ToText(),
            "device  = \"\" \n"
            "fileext = \"wmv\" \n"
            "t       = 0 \n"
            "ss      = 0 \n"
            "vcodec  = \"Windows Media Video 8\" "
            "{ \"Windows Media Video 8\", \"Windows Media Video 7\" }\n"
            "s\t    = \"176x144\" { \"176x144\" }\n"
            "b\t    = 33 { \"33\" }\n"
            "r       = 15 { \"4.5\" }\n"
            "acodec  = \"Windows Media Audio 9.2\" \n"
            "aformat = \"64 kbps, 44 kHz, stereo CBR\" \n");
}

TEST(ProfileTest, FrameRateWrittenWithSixSignificantDigits) {
  const std::pair<double, const char*> cases[] = {
      {29.97, "29.97"}, {14.985, "14.985"}, {15, "15"},   {23.976023976, "23.976"},
      {0, "0"},         {0.1 + 0.2, "0.3"}, {1234567, "1.23457e+06"},
  };
  for (const auto& [rate, text] : cases) {
    CProfile p;
    p.r = rate;
    EXPECT_NE(p.ToText().find("\nr       = "s + text + " \n"), std::string::npos) << text;
  }
}

TEST(ProfileTest, TextsAQuotedValueCannotHoldAreLeftOut) {
  CProfile p;
  p.s = "320\"x240";
  p.s_choices = {"a\nb", "\"", ""s, "c\0d"s};
  p.vcodec = "W\"MV";  // written as "WMV", so it must be laid out as Windows Media
  std::string text = p.ToText();
  EXPECT_NE(text.find("s\t    = \"320x240\" { \"ab\", \"cd\" }\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("ab\t"), std::string::npos) << text;
  CProfile back;
  back.ParseText(text);
  EXPECT_EQ(back.ToText(), text);
}

TEST(ProfileTest, RoundTripKeepsEverySavedField) {
  TempWorld world;
  for (bool windows_media : {false, true}) {
    CProfile p = FilledProfile();
    p.s = "";  // follow the source, with sizes to pick from
    p.s_choices = {"320x240", "368x208"};
    p.vcodec = windows_media ? "Windows Media Video 8" : "my, {odd} = codec";
    p.ac = " 2 ";
    p.r = 14.985;
    ASSERT_EQ(p.Save("round"), 0);
    CProfile back;
    ASSERT_EQ(back.Load("round"), 0);

    CProfile expected = p;
    expected.name = "round";
    expected.t = 0;
    expected.ss = 0;
    expected.an = 0;
    expected.aformat_choices.clear();
    if (!windows_media) expected.aformat.clear();  // only Windows Media profiles keep a format
    if (windows_media) {
      // Load offers the installed Windows Media audio codec and its formats.
      expected.acodec_choices = {"Windows Media Audio 9.2"};
      EXPECT_FALSE(back.aformat_choices.empty());
      expected.aformat_choices = back.aformat_choices;
      expected.ab = 0;  // "afo" starts with no number
      expected.ab_choices.clear();
      expected.ar = 0;
      expected.ar_choices.clear();
      expected.ac.clear();
      expected.ac_choices.clear();
    }
    EXPECT_EQ(back, expected) << "windows media " << windows_media;
  }
}

TEST(ProfileTest, LoadSetsNameEmptiesDeviceAndExtensionAndKeepsTheRest) {
  TempWorld world;
  WriteFile(world.Path("home/profile/Phone.pr"), "b = 64\n");
  CProfile p = FilledProfile();
  ASSERT_EQ(p.Load("Phone"), 0);
  CProfile expected = FilledProfile();
  expected.name = "Phone";
  expected.device.clear();
  expected.fileext.clear();
  expected.b = 64;
  expected.b_choices.clear();
  EXPECT_EQ(p, expected);
}

TEST(ProfileTest, UnreadableFileLeavesTheProfileAsItWas) {
  TempWorld world;
  fs::create_directories(world.Path("home/profile/Folder.pr"));
  ASSERT_EQ(mkfifo(world.Path("home/profile/Pipe.pr").c_str(), 0600), 0);
  for (const char* name : {"Missing", "Folder", "Pipe"}) {
    CProfile p = FilledProfile();
    EXPECT_EQ(p.Load(name), -1) << name;  // a FIFO must not block the reader
    EXPECT_EQ(p, FilledProfile()) << name;
  }
}

// Every file and folder below a root, as relative paths.
std::set<std::string> Listing(const std::string& root) {
  std::set<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    entries.insert(fs::relative(entry.path(), root).string());
  return entries;
}

class RefusedNameTest : public testing::TestWithParam<std::string> {};

TEST_P(RefusedNameTest, SaveTouchesNothing) {
  TempWorld world;
  std::set<std::string> before = Listing(world.root());
  EXPECT_EQ(FilledProfile().Save(GetParam()), -1);
  EXPECT_EQ(Listing(world.root()), before);
}

TEST_P(RefusedNameTest, LoadReadsNothing) {
  TempWorld world;
  fs::create_directories(world.Path("home/profile/a"));
  // Put a profile where the name would lead if it were pasted into the path.
  std::string naive = world.Path("home/profile/") + GetParam() + ".pr";
  if (GetParam().find('\0') == std::string::npos && !fs::is_directory(naive))
    WriteFile(naive, "vcodec = \"stolen\"\n");
  CProfile p = FilledProfile();
  EXPECT_EQ(p.Load(GetParam()), -1);
  EXPECT_EQ(p, FilledProfile());
}

INSTANTIATE_TEST_SUITE_P(Names, RefusedNameTest,
                         testing::Values(""s, "."s, ".."s, "tab\tname"s, "line\nname"s,
                                         "nul\0name"s, "del\x7fname"s));

// A '/' of a name can't be in a file name: it stands as "%2F", and the file
// stays inside the profile folder whatever the name.
TEST(ProfileTest, NamesWithASlashStayInsideTheProfileFolder) {
  const struct {
    std::string name;
    std::string file;
  } kNames[] = {
      {"iPhone/iPad (HEVC)", "iPhone%2FiPad (HEVC).pr"},
      {"../escape", "..%2Fescape.pr"},
      {"/abs", "%2Fabs.pr"},
      {"a/", "a%2F.pr"},
      {"50% smaller", "50% smaller.pr"},
  };
  for (const auto& c : kNames) {
    TempWorld world;
    EXPECT_EQ(ProfileFileName(c.name), c.file);
    EXPECT_EQ(ProfileNameOfFile(c.file), c.name);
    CProfile p = FilledProfile();
    p.crf = 23;
    p.crf_choices = {"18", "23"};
    const std::set<std::string> before = Listing(world.root());
    ASSERT_EQ(p.Save(c.name), 0) << c.name;
    std::set<std::string> added;
    for (const std::string& entry : Listing(world.root()))
      if (!before.count(entry) && entry != "home" && entry != "home/profile") added.insert(entry);
    EXPECT_EQ(added, std::set<std::string>{"home/profile/" + c.file}) << c.name;
    CProfile back;
    ASSERT_EQ(back.Load(c.name), 0) << c.name;
    EXPECT_EQ(back.name, c.name);
    EXPECT_EQ(back.crf, 23);
    EXPECT_EQ(back.crf_choices, p.crf_choices);
  }
  EXPECT_EQ(ProfileNameOfFile("notes.txt"), "");
  EXPECT_EQ(ProfileNameOfFile(".pr"), "");
}

TEST(ProfileTest, PlainNamesAreAccepted) {
  TempWorld world;
  for (std::string name : {"My profile", "PSP AVC", "a.b", "...", ".hidden", "-x", "Ünïcode ✓",
                           "back\\slash", "name.pr"}) {
    EXPECT_TRUE(IsPlainProfileName(name)) << name;
    CProfile p = FilledProfile();
    ASSERT_EQ(p.Save(name), 0) << name;
    EXPECT_TRUE(fs::is_regular_file(world.Path("home/profile/" + name + ".pr"))) << name;
    CProfile back;
    EXPECT_EQ(back.Load(name), 0) << name;
    EXPECT_EQ(back.vcodec, p.vcodec) << name;
  }
}

TEST(ProfileTest, SaveReplacesTheOldFileAndLeavesNoTemporaryBehind) {
  TempWorld world;
  WriteFile(world.Path("home/profile/Mine.pr"), std::string(5000, 'x'));
  CProfile p = FilledProfile();
  ASSERT_EQ(p.Save("Mine"), 0);
  EXPECT_EQ(ReadFile(world.Path("home/profile/Mine.pr")), p.ToText());
  EXPECT_EQ(Listing(world.Path("home/profile")), std::set<std::string>{"Mine.pr"});
}

TEST(ProfileTest, SaveCreatesTheProfileFolderAndFailsWhenItCannot) {
  TempWorld world;
  ASSERT_EQ(FilledProfile().Save("New"), 0);
  EXPECT_TRUE(fs::is_regular_file(world.Path("home/profile/New.pr")));

  TempWorld blocked;
  WriteFile(blocked.Path("home/profile"), "a file where the folder should be");
  EXPECT_EQ(FilledProfile().Save("New"), -1);
  EXPECT_EQ(ReadFile(blocked.Path("home/profile")), "a file where the folder should be");
}

TEST(ProfileTest, LongLinesAreReadWhole) {
  TempWorld world;
  // Were the line cut at 255 characters, " b = 999 { 1 }" would become a
  // setting of its own.
  std::string line = "vcodec = " + std::string(246, 'x') + " b = 999 { 1 }";
  ASSERT_GT(line.size(), 255u);
  std::string long_size(2000, 'y');
  WriteFile(world.Path("home/profile/Long.pr"),
            line + "\ns = \"" + long_size + "\" { \"" + long_size + "\" }\nab = 7\n");
  // The values are refused (the size is no size), which shows in the
  // refusal; what the reader made of the lines shows in ParseText.
  CProfile p;
  std::string refusal;
  ASSERT_EQ(p.Load("Long", &refusal), -1);
  EXPECT_EQ(refusal.rfind("Profile \"Long\": frame size \"s\"", 0), 0u) << refusal;
  p.ParseText(ReadFile(world.Path("home/profile/Long.pr")));
  EXPECT_EQ(p.vcodec, std::string(246, 'x') + " b");
  EXPECT_EQ(p.vcodec_choices, (Choices{"999", "1"}));
  EXPECT_EQ(p.b, 0);
  EXPECT_EQ(p.s, long_size);
  EXPECT_EQ(p.s_choices, Choices{long_size});
  EXPECT_EQ(p.ab, 7);
}

TEST(ProfileTest, BinaryFileDoesNotStopTheReader) {
  TempWorld world;
  std::mt19937 random(12345);
  std::string garbage;
  for (int i = 0; i < 20000; ++i) garbage.push_back(static_cast<char>(random()));
  WriteFile(world.Path("home/profile/Binary.pr"),
            "\xff\xfe\0\x01 = \"\0\n"s + garbage + "\nvcodec = h264 { \"\x01\x80\" }\n\x7f\r\r\n");
  CProfile p = FilledProfile();
  ASSERT_EQ(p.Load("Binary"), 0);
  EXPECT_EQ(p.name, "Binary");
  EXPECT_EQ(p.vcodec, "h264");
  EXPECT_EQ(p.vcodec_choices, Choices{"\x01\x80"});
}

// A complete profile a conversion accepts; each case below spoils one line.
const char kUsableProfile[] =
    "vcodec = \"mpeg4\"\n"
    "s = \"320x240\"\n"
    "b = 768\n"
    "r = 29.97\n"
    "acodec = \"aac\"\n"
    "ab = 128\n"
    "ar = 48000\n"
    "ac = \"2\"\n";

struct RefusedValue {
  const char* line;     // appended to kUsableProfile, so it wins
  const char* refusal;  // how the refusal begins, after 'Profile "Bad": '
};

void PrintTo(const RefusedValue& c, std::ostream* out) { *out << c.line; }

class RefusedValueTest : public testing::TestWithParam<RefusedValue> {};

TEST_P(RefusedValueTest, LoadRefusesTheProfileAndNamesTheKey) {
  TempWorld world;
  WriteFile(world.Path("home/profile/Bad.pr"), std::string(kUsableProfile) + GetParam().line + "\n");
  CProfile p = FilledProfile();
  std::string refusal;
  EXPECT_EQ(p.Load("Bad", &refusal), -1);
  EXPECT_EQ(refusal.rfind("Profile \"Bad\": "s + GetParam().refusal, 0), 0u) << refusal;
  EXPECT_EQ(p, FilledProfile());
}

INSTANTIATE_TEST_SUITE_P(
    Values, RefusedValueTest,
    testing::Values(RefusedValue{"r = 0", "frame rate \"r\" must be"},
                    RefusedValue{"r = -25", "frame rate \"r\" must be"},
                    RefusedValue{"r = 0.5", "frame rate \"r\" must be"},
                    RefusedValue{"r = 1e300", "frame rate \"r\" must be"},
                    RefusedValue{"r = fast", "frame rate \"r\" must be"},
                    RefusedValue{"s = \"0x0\"", "frame size \"s\" must be"},
                    RefusedValue{"s = \"320\"", "frame size \"s\" must be"},
                    RefusedValue{"s = \"big\"", "frame size \"s\" must be"},
                    RefusedValue{"s = \"320x-240\"", "frame size \"s\" must be"},
                    RefusedValue{"s = \"99999x240\"", "frame size \"s\" must be"},
                    RefusedValue{"b = 0", "video bit rate \"b\" must be"},
                    RefusedValue{"b = -768", "video bit rate \"b\" must be"},
                    RefusedValue{"ab = 0", "audio bit rate \"ab\" must be"},
                    RefusedValue{"ar = 0", "sampling rate \"ar\" must be"},
                    RefusedValue{"ar = 2147483647", "sampling rate \"ar\" must be"},
                    RefusedValue{"ac = \"\"", "channels \"ac\" must be"},
                    RefusedValue{"ac = \"0\"", "channels \"ac\" must be"},
                    RefusedValue{"ac = \"6\"", "channels \"ac\" must be"},
                    RefusedValue{"crf = 52", "constant quality \"crf\" must be"},
                    RefusedValue{"crf = -1", "constant quality \"crf\" must be"}));

TEST(ProfileTest, TheRefusalSaysWhatTheValueMustBe) {
  CProfile p;
  p.name = "X";
  p.ParseText(std::string(kUsableProfile) + "r = 0\n");
  EXPECT_EQ(p.Problem(),
            "Profile \"X\": frame rate \"r\" must be between 1 and 120 frames per second "
            "(it is \"0\")");
}

TEST(ProfileTest, AnEmptyProfileIsRefused) {
  TempWorld world;
  WriteFile(world.Path("home/profile/Empty.pr"), "");
  CProfile p;
  std::string refusal;
  EXPECT_EQ(p.Load("Empty", &refusal), -1);
  EXPECT_FALSE(refusal.empty());
  EXPECT_EQ(p, CProfile());
}

TEST(ProfileTest, UsableValuesAreAccepted) {
  const char* lines[] = {"s = \"\"",        "s = \"16X16\"", "s = \"4096x4096\"", "r = 1",
                         "r = 120",          "r = 14.985",    "ac = \" 1 \"",       "ar = 8000",
                         "b = 100000"};
  for (const char* line : lines) {
    CProfile p;
    p.ParseText(std::string(kUsableProfile) + line + "\n");
    EXPECT_EQ(p.Problem(), "") << line;
  }
  // A Windows Media profile takes its audio from the format text: no
  // sampling rate or channels of its own.
  CProfile wm;
  wm.ParseText("vcodec = \"Windows Media Video 8\"\ns = \"320x240\"\nb = 500\nr = 29.97\n");
  EXPECT_EQ(wm.Problem(), "");
}

}  // namespace
}  // namespace ovc
