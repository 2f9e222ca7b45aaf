#include "engine/record/rate_stats.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/paths.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

// libavcodec records as its MPEG encoders write them (shortened).
std::string Lavc(int in, int out, int q) {
  return "in:" + std::to_string(in) + " out:" + std::to_string(out) + " type:2 q:" +
         std::to_string(q) + " itex:10 ptex:20;\n";
}

constexpr char kXvidHeader[] = "# ffmpeg 2-pass log file, using xvid codec\n# Do not modify.\n";

struct SliceCase {
  const char* name;
  RateStatsFormat format;
  std::string text;
  size_t first;
  size_t pad;
  std::string expected;
};
void PrintTo(const SliceCase& c, std::ostream* os) { *os << c.name; }

class RateStatsSlice : public testing::TestWithParam<SliceCase> {};

TEST_P(RateStatsSlice, GivesTheRecordsFromThePartsFirstPicture) {
  const SliceCase& c = GetParam();
  EXPECT_EQ(RateStatsText(c.format, ParseRateStats(c.format, c.text), c.first, c.pad), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RateStatsSlice,
    testing::Values(
        // libavcodec indexes its rate control by the numbers: a later part's
        // records start again at 0, B-picture reordering (out ahead of in)
        // kept.
        SliceCase{"LavcRenumbered", RateStatsFormat::kLavc,
                  Lavc(0, 0, 2) + Lavc(1, 2, 3) + Lavc(2, 1, 4) + Lavc(3, 3, 5), 2, 0,
                  Lavc(0, 0, 4) + Lavc(1, 1, 5)},
        SliceCase{"LavcPaddedWithTheLast", RateStatsFormat::kLavc, Lavc(0, 0, 2) + Lavc(1, 1, 3),
                  0, 2, Lavc(0, 0, 2) + Lavc(1, 1, 3) + Lavc(2, 2, 3) + Lavc(3, 3, 3)},
        // A record the encoder had not finished is not one.
        SliceCase{"LavcUnfinishedRecordLeftOut", RateStatsFormat::kLavc,
                  Lavc(0, 0, 2) + "in:1 out:1 type:2 q:", 0, 0, Lavc(0, 0, 2)},
        SliceCase{"LavcNothingFromThere", RateStatsFormat::kLavc, Lavc(0, 0, 2), 1, 5, ""},
        SliceCase{"XvidKeepsItsHeader", RateStatsFormat::kXvid,
                  std::string(kXvidHeader) + "i 2 396 0 0 9000 300\np 3 0 396 0 2000 100\n" +
                      "p 4 0 300 96 1500 90\n",
                  1, 0,
                  std::string(kXvidHeader) + "p 3 0 396 0 2000 100\np 4 0 300 96 1500 90\n"}),
    [](const testing::TestParamInfo<SliceCase>& info) { return info.param.name; });

// The first pass's parts end at other pictures than the second's: the
// range's file holds every part's records one after the other, and a
// second-pass part reads them from where it begins.
TEST(RateStatsRange, PartsOfTheFirstPassMakeOneRangeTheSecondPassCutsAnywhere) {
  test::TempWorld world;
  const std::string path = NewRangeStatsPath(world.Path("out.mp4"));
  ASSERT_EQ(AppendRangeStats(path, RateStatsFormat::kLavc, Lavc(0, 0, 2) + Lavc(1, 1, 3), 0), 0);
  ASSERT_EQ(AppendRangeStats(path, RateStatsFormat::kLavc, Lavc(0, 0, 4) + Lavc(1, 1, 5), 2), 0);
  EXPECT_EQ(ReadRangeStats(path, RateStatsFormat::kLavc, 0),
            Lavc(0, 0, 2) + Lavc(1, 1, 3) + Lavc(2, 2, 4) + Lavc(3, 3, 5));
  EXPECT_EQ(ReadRangeStats(path, RateStatsFormat::kLavc, 1),
            Lavc(0, 0, 3) + Lavc(1, 1, 4) + Lavc(2, 2, 5));
  // A new first part starts the range again.
  ASSERT_EQ(AppendRangeStats(path, RateStatsFormat::kLavc, Lavc(0, 0, 9), 0), 0);
  EXPECT_EQ(ReadRangeStats(path, RateStatsFormat::kLavc, 0), Lavc(0, 0, 9));

  // Everything an encoder left beside the file goes with it; other
  // conversions' files stay.
  const std::string other = NewRangeStatsPath(world.Path("other.mp4"));
  ASSERT_NE(other, path);
  for (const std::string& file : {path + ".x264", path + ".x264.mbtree", other})
    ASSERT_EQ(WriteRateStatsFile(file, "x"), 0);
  RemoveRangeStats(path);
  for (const std::string& file : {path, path + ".x264", path + ".x264.mbtree"})
    EXPECT_FALSE(std::filesystem::exists(file)) << file;
  EXPECT_TRUE(std::filesystem::exists(other));
  EXPECT_EQ(std::filesystem::path(path).parent_path(), std::filesystem::path(TempFolder()));
}

}  // namespace
}  // namespace ovc
