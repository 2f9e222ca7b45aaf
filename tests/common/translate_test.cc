#include "common/translate.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/temp_world.h"

namespace ovc {
namespace {

std::map<std::string, std::string> Parse(const std::string& content) {
  test::TempWorld world;
  std::string path = world.Path("lang_eng.txt");
  test::WriteFile(path, content);
  return LoadTranslationTable(path);
}

struct TableCase {
  const char* name;
  std::string file;
  std::map<std::string, std::string> expected;
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

class TranslationTable : public testing::TestWithParam<TableCase> {};

TEST_P(TranslationTable, Parses) { EXPECT_EQ(Parse(GetParam().file), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Rules, TranslationTable,
    testing::Values(
        TableCase{"KeyTrimmedTextStartsWithLineFeed", "@Lame error  \nword\n", {{"Lame error", "\nword"}}},
        TableCase{"LinesBeforeFirstEntryIgnored", "header\nmore\n@a\nA\n", {{"a", "\nA"}}},
        TableCase{"LastEntryWins", "@k\none\n@k\ntwo\n", {{"k", "\ntwo"}}},
        TableCase{"TrailingLineFeedsAndFormFeedsCut", "@k\r\nline\n\n\f\n@j\n", {{"k", "\nline"}, {"j", ""}}},
        // Every line is appended as a line feed plus the line with its own line
        // feed, so consecutive lines end up separated by two line feeds.
        TableCase{"EachLineAddsALineFeedOfItsOwn", "@k\na\n\nb\n", {{"k", "\na\n\n\n\nb"}}},
        TableCase{"CarriageReturnsInTextKept", "@k\r\nx\r\n", {{"k", "\nx\r"}}},
        TableCase{"NoTrailingNewline", "@k\nlast", {{"k", "\nlast"}}},
        TableCase{"EmptyFile", "", {}}),
    [](const testing::TestParamInfo<TableCase>& info) { return info.param.name; });

TEST(TranslationTableFile, LongLinesAreReadInPiecesOf1023) {
  // A 1030-character line: the first 1023 characters are one piece, the rest
  // another; a piece that happens to start with '@' opens an entry.
  std::string line = std::string(1023, 'x') + "@tail";
  auto table = Parse("@k\n" + line + "\n");
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table["k"], "\n" + std::string(1023, 'x'));
  EXPECT_EQ(table["tail"], "");
}

TEST(TranslationTableFile, MissingFileGivesEmptyTable) {
  EXPECT_TRUE(LoadTranslationTable("/nonexistent/lang_eng.txt").empty());
}

TEST(TranslationTableFile, BinaryJunkDoesNotCrash) {
  std::string junk;
  for (int i = 0; i < 5000; ++i) junk.push_back(static_cast<char>((i * 131 + 7) % 256));
  junk += std::string("\0@\0\n@", 5);
  Parse(junk);
}

// TranslateMessage loads "./lang_eng.txt" once per process, so this is the
// only test that calls it.
TEST(TranslateMessage, UsesLanguageFileOfWorkingFolderOnce) {
  test::TempWorld world;
  test::WriteFile(world.home() + "/lang_eng.txt", "@Lame error  \nMP3 failed\n@Stop recording?\nHalt?\n");
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(world.home().c_str()), 0);

  EXPECT_STREQ(TranslateMessage("Lame error"), "\nMP3 failed");
  const char* unknown = "Not in the table \xe9";
  EXPECT_EQ(TranslateMessage(unknown), unknown);  // the same bytes, unchanged
  EXPECT_STREQ(TranslateMessage("lame error"), "lame error");  // case-sensitive
  EXPECT_STREQ(TranslateMessage("Lame error "), "Lame error ");  // no trimming

  // Loaded once: later changes to the file are not seen.
  test::WriteFile(world.home() + "/lang_eng.txt", "@Lame error\nchanged\n");
  EXPECT_STREQ(TranslateMessage("Lame error"), "\nMP3 failed");
  ASSERT_EQ(chdir(previous), 0);
}

}  // namespace
}  // namespace ovc
