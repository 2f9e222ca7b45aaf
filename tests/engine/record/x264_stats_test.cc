#include "engine/record/x264_stats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "support/temp_world.h"

namespace ovc {
namespace {

// One macroblock per picture: a tree record is the type byte, then the
// offset, whose high byte names the picture here ('a' + its display number).
constexpr char kHeader[] = "#options: 16x16 fps=25/1 bframes=2 mbtree=1 bitrate=500\n";

// Statistics from "<type><coded number>" per picture in display order,
// e.g. "I0 b2 P1": each record carries its display number as "q:".
struct Files {
  std::string text, tree;
};
Files Make(const std::string& pictures) {
  std::istringstream in(pictures);
  std::string token;
  std::vector<std::pair<int, std::string>> references;  // coded number, record
  Files files{kHeader, {}};
  for (int shown = 0; in >> token; ++shown) {
    const char type = token[0];
    const int coded = std::stoi(token.substr(1));
    files.text += "in:" + std::to_string(shown) + " out:" + std::to_string(coded) + " type:" +
                  type + " q:" + std::to_string(shown) + " ref:;\n";
    const char slice = type == 'I' ? 2 : type == 'P' ? 0 : 1;
    if (type != 'b') references.push_back({coded, {slice, static_cast<char>('a' + shown), 0}});
  }
  std::sort(references.begin(), references.end());
  for (const auto& [coded, record] : references) files.tree += record;
  return files;
}

// The pictures as the second pass reads them: "<type><coded>q<source
// display number>" in display order, then the tree in file order as
// "<slice type>:<picture letter, '.' for none>".
std::string Show(const Files& files) {
  X264Stats stats;
  std::string why;
  if (!ParseX264Stats(files.text, files.tree, &stats, &why)) return "unreadable: " + why;
  std::string shown;
  for (const X264Stats::Frame& frame : stats.frames) {
    const size_t q = frame.rest.find("q:") + 2;
    shown += frame.type + std::to_string(frame.coded) + "q" +
             frame.rest.substr(q, frame.rest.find(" ref") - q) + " ";
  }
  shown += "|";
  for (size_t at = 0; at + 3 <= files.tree.size(); at += 3)
    shown += " " + std::to_string(files.tree[at]) + ":" +
             (files.tree[at + 1] ? files.tree[at + 1] : '.');
  return shown;
}

Files Cut(const Files& files, size_t first, size_t pad) {
  X264Stats stats;
  std::string why;
  EXPECT_TRUE(ParseX264Stats(files.text, files.tree, &stats, &why)) << why;
  const X264Stats from = X264StatsFrom(stats, first, pad);
  return {X264StatsText(from), X264StatsTree(from)};
}

struct CutCase {
  const char* name;
  std::string pictures;
  size_t first, pad;
  std::string expected;
};
void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

class X264StatsCut : public testing::TestWithParam<CutCase> {};

TEST_P(X264StatsCut, NumbersFromZeroInTheOrderTheSecondPassCodes) {
  const CutCase& c = GetParam();
  EXPECT_EQ(Show(Cut(Make(c.pictures), c.first, c.pad)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, X264StatsCut,
    testing::Values(
        // The part begins with a key picture; the padding repeats the last
        // reference picture as P-pictures.
        CutCase{"PPicturesOnly", "I0 P1 P2 P3", 2, 2,
                "I0q2 P1q3 P2q3 P3q3 | 2:c 0:d 0:d 0:d"},
        // A 'b' has no tree record: the key picture in its place gets a
        // neutral one. Each P is coded before the B-pictures shown ahead.
        CutCase{"BeginsOnAB", "I0 b2 b3 P1 b5 b6 P4", 1, 1,
                "I0q1 b2q2 P1q3 b4q4 b5q5 P3q6 P6q6 | 2:. 0:d 0:g 0:g"},
        // A referenced B is coded right after its P, before the others.
        CutCase{"BeginsOnAReferencedB", "I0 b3 B2 b4 P1", 2, 0, "I0q2 b2q3 P1q4 | 2:c 0:e"},
        CutCase{"WholeRange", "I0 b2 P1", 0, 0, "I0q0 b2q1 P1q2 | 2:a 0:c"},
        CutCase{"NothingLeft", "I0 P1", 2, 5, "|"}),
    [](const testing::TestParamInfo<CutCase>& info) { return info.param.name; });

// Statistics that don't fit together are not cut.
TEST(X264Stats, RefusesStatisticsThatDontFitTogether) {
  const Files good = Make("I0 b2 P1");
  const Files broken[] = {
      {good.text, good.tree.substr(3)},                       // a tree record short
      {good.text, good.tree + good.tree.substr(0, 3)},        // one too many
      {Make("I0 P0").text, Make("I0 P1").tree},               // a coded number twice
      {good.text.substr(good.text.find('\n') + 1), good.tree},  // no options line
      {std::string(kHeader) + "in:0 out:0 type:X q:0 ref:;\n", ""},
  };
  for (const Files& files : broken) {
    X264Stats stats;
    std::string why;
    EXPECT_FALSE(ParseX264Stats(files.text, files.tree, &stats, &why)) << files.text;
    EXPECT_FALSE(why.empty());
  }
}

// The first pass's parts join in one range; a second-pass part beginning
// elsewhere reads it from its own first picture.
TEST(X264Stats, PartsJoinInTheRangeTheSecondPassCutsAnywhere) {
  test::TempWorld world;
  const std::string range = world.Path("range.x264");
  const std::string part = world.Path("part.x264");
  auto write = [&](const Files& files) {
    test::WriteFile(part, files.text);
    test::WriteFile(part + ".mbtree", files.tree);
  };
  write(Make("I0 b2 P1"));
  ASSERT_EQ(AppendX264RangeStats(range, part, 0), 0);
  write(Make("I0 P1"));
  ASSERT_EQ(AppendX264RangeStats(range, part, 3), 0);
  EXPECT_EQ(Show({test::ReadFile(range), test::ReadFile(range + ".mbtree")}),
            "I0q0 b2q1 P1q2 I3q0 P4q1 | 2:a 0:c 2:a 0:b");

  std::string why;
  ASSERT_EQ(WriteX264StatsFrom(range, 2, 0, world.Path("from.x264"), &why), 0) << why;
  EXPECT_EQ(Show({test::ReadFile(world.Path("from.x264")),
                  test::ReadFile(world.Path("from.x264.mbtree"))}),
            "I0q2 I1q0 P2q1 | 2:c 2:a 0:b");
  EXPECT_EQ(WriteX264StatsFrom(range, 5, 0, world.Path("from.x264"), &why), -1);
  EXPECT_EQ(why, "the first pass coded 5 pictures");
}

}  // namespace
}  // namespace ovc
