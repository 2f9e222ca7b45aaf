#include "ui/main/output_naming.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "support/temp_world.h"

namespace ovc {
namespace {

using test::TempWorld;
using test::WriteFile;

TEST(OutputNamingTest, PspNumberingSkipsEveryTakenName) {
  TempWorld world;
  const std::string folder = world.Path("stick");
  WriteFile(folder + "/M4V00007.MP4", "x");
  WriteFile(folder + "/M4V00008.MP4", "x");
  WriteFile(folder + "/MAQ00010.MP4", "x");
  // A dangling link takes its name too: writing through it would create a
  // file elsewhere.
  std::filesystem::create_symlink(folder + "/gone", folder + "/M4V00009.MP4");
  // A thumbnail without its video keeps its number: the conversion would
  // write over it.
  WriteFile(folder + "/M4V00011.THM", "x");
  // Five digits at most: after 99999 the numbers go round.
  WriteFile(folder + "/M4V99999.MP4", "x");
  WriteFile(folder + "/M4V00000.MP4", "x");

  EXPECT_EQ(FirstFreePspNumber(folder, false, 7), 10);
  EXPECT_EQ(FirstFreePspNumber(folder, false, 11), 12);
  EXPECT_EQ(FirstFreePspNumber(folder, false, 99999), 1);
  EXPECT_EQ(FirstFreePspNumber(folder, false, 100000), 1);
  EXPECT_EQ(FirstFreePspNumber(folder, false, 3), 3);
  EXPECT_EQ(FirstFreePspNumber(folder, true, 10), 11);
  EXPECT_EQ(FirstFreePspNumber(folder, true, -4), 0);
  EXPECT_EQ(FirstFreePspNumber(folder, false, -4), 1);
  EXPECT_EQ(PspFileName(false, 10), "M4V00010.MP4");
  EXPECT_EQ(PspFileName(true, 42), "MAQ00042.MP4");
}

TEST(OutputNamingTest, DerivesPspPathAndKeepsTheTitle) {
  TempWorld world;
  const std::string folder = world.Path("out");
  WriteFile(folder + "/MAQ00002.MP4", "x");
  OutputNaming naming;
  naming.format = 2;
  naming.psp_file = true;
  naming.h264 = true;
  naming.file_number = 2;
  DerivedOutput out;
  ASSERT_TRUE(DeriveOutputPath("/videos/Holiday.2010.avi", folder + "/old.avi", naming, &out));
  EXPECT_EQ(out.path, folder + "/MAQ00003.MP4");
  EXPECT_EQ(out.title, "Holiday.2010");
  EXPECT_EQ(out.file_number, 3);
}

struct NameCase {
  const char* name;
  const char* source;
  const char* output;
  int format;
  const char* fileext;
  bool derived;
  const char* path;   // when derived
  const char* title;  // when derived
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class DeriveOutputPathTest : public testing::TestWithParam<NameCase> {};

TEST_P(DeriveOutputPathTest, NamesTheOutputAfterTheSource) {
  const NameCase& c = GetParam();
  OutputNaming naming;
  naming.format = c.format;
  naming.fileext = c.fileext;
  DerivedOutput out;
  out.path = "unchanged";
  ASSERT_EQ(DeriveOutputPath(c.source, c.output, naming, &out), c.derived);
  if (!c.derived) {
    EXPECT_EQ(out.path, "unchanged");
    return;
  }
  EXPECT_EQ(out.path, c.path);
  EXPECT_EQ(out.title, c.title);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeriveOutputPathTest,
    testing::Values(
        NameCase{"AviByContainer", "/v/a.b.mkv", "/o/x.avi", 3, "", true, "/o/a.b.avi", "a.b"},
        NameCase{"WmvByContainer", "/v/clip.mpg", "/o/x", 1, "", true, "/o/clip.wmv", "clip"},
        NameCase{"MpgByContainer", "/v/clip.vob", "/o/x", 4, "", true, "/o/clip.mpg", "clip"},
        NameCase{"OtherCodesMp4", "/v/clip", "/o/x", 6, "", true, "/o/clip.mp4", "clip"},
        NameCase{"FileextWins", "/v/clip.avi", "/o/x.avi", 6, "3gp", true, "/o/clip.3gp", "clip"},
        NameCase{"FileextDotDropped", "/v/c.avi", "/o/x", 7, ".mov", true, "/o/c.mov", "c"},
        NameCase{"FileextWithSlashIgnored", "/v/c.avi", "/o/x", 3, "../../etc/x", true,
                 "/o/c.avi", "c"},
        NameCase{"HiddenSourceKeepsItsName", "/v/.clip", "/o/x", 3, "", true, "/o/.clip.avi",
                 ".clip"},
        NameCase{"SourceWithoutFolder", "clip.avi", "/o/x.avi", 3, "", false, "", ""},
        NameCase{"OutputWithoutFolder", "/v/clip.avi", "x.avi", 3, "", false, "", ""}));

TEST(OutputNamingTest, LongTitlesAreCutToAnOpenableName) {
  // 300 bytes of two-byte characters: the name must fit 255 bytes and must
  // not end inside a character.
  std::string title;
  for (int i = 0; i < 150; ++i) title += "\xC3\xA9";
  OutputNaming naming;
  naming.format = 2;
  DerivedOutput out;
  ASSERT_TRUE(DeriveOutputPath("/v/" + title + ".avi", "/o/x.mp4", naming, &out));
  const std::string name = out.path.substr(3);
  EXPECT_LE(name.size(), 255u);
  EXPECT_EQ(name.substr(name.size() - 4), ".mp4");
  EXPECT_EQ((name.size() - 4) % 2, 0u) << "cut inside a character";
  EXPECT_EQ(out.title, title);

  // A folder that leaves no room for a name changes nothing.
  const std::string deep = "/" + std::string(509, 'd');
  EXPECT_FALSE(DeriveOutputPath("/v/clip.avi", deep + "/x.mp4", naming, &out));
}

struct ComposeCase {
  const char* name;
  const char* folder_text;
  const char* output_path;
  int format;
  const char* expected;
};
void PrintTo(const ComposeCase& c, std::ostream* os) { *os << c.name; }

class ComposedOutputPathTest : public testing::TestWithParam<ComposeCase> {};

TEST_P(ComposedOutputPathTest, JoinsFolderAndFileName) {
  const ComposeCase& c = GetParam();
  EXPECT_EQ(ComposedOutputPath(c.folder_text, c.output_path, c.format, "/home/u"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComposedOutputPathTest,
    testing::Values(
        ComposeCase{"KeepsFileName", "/videos/", "/old/clip.mp4", 2, "/videos/clip.mp4"},
        ComposeCase{"OneSlashRemovedOnly", "/videos//", "/old/clip.mp4", 2, "/videos//clip.mp4"},
        ComposeCase{"NoTrailingSlash", "/videos", "/old/clip.mp4", 2, "/videos/clip.mp4"},
        ComposeCase{"EmptyMeansHome", "", "/old/clip.avi", 3, "/home/u/clip.avi"},
        ComposeCase{"RootStaysRoot", "/", "/old/clip.avi", 3, "/clip.avi"},
        ComposeCase{"UntitledAvi", "/v", "clip", 0, "/v/untitled.avi"},
        ComposeCase{"UntitledWmv", "/v", "", 1, "/v/untitled.wmv"},
        ComposeCase{"UntitledMp4", "/v", "", 2, "/v/untitled.mp4"},
        ComposeCase{"UntitledMpg", "/v", "", 4, "/v/untitled.mpg"},
        ComposeCase{"UntitledVob", "/v", "", 5, "/v/untitled.vob"},
        ComposeCase{"Untitled3gp", "/v", "", 6, "/v/untitled.3gp"},
        ComposeCase{"UntitledMov", "/v", "", 7, "/v/untitled.mov"},
        ComposeCase{"EmptyAndNoFilePart", "", "", 1, "/home/u/untitled.wmv"}));

}  // namespace
}  // namespace ovc
