#include "transfer/psp_space.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <ostream>
#include <utility>

#include "support/temp_world.h"

namespace ovc {
namespace {

constexpr uint64_t kMegabyte = 1048576;

void MakeSparseFile(const std::string& path, uint64_t bytes) {
  test::WriteFile(path, "");
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(bytes)), 0);
}

TEST(PspSpace, FiguresOfAStickWithVideos) {
  test::TempWorld world;
  world.SetEnv("OVC_DRIVES", "E=" + world.Path("stick") + "|1024M|300M");
  // 150 + 50.7 MB of listed videos.
  MakeSparseFile(world.Path("stick/M4V00001.MP4"), 150 * kMegabyte);
  MakeSparseFile(world.Path("stick/M4V00002.MP4"), static_cast<uint64_t>(50.7 * kMegabyte));
  std::vector<std::string> files = {world.Path("stick/M4V00001.MP4"),
                                    world.Path("stick/M4V00002.MP4"),
                                    world.Path("stick/M4V00009.MP4")};  // gone meanwhile
  PspSpace space = PspSpaceFigures('E', files);
  EXPECT_EQ(space.total_mb, 1024);
  EXPECT_EQ(space.free_mb, 300);
  EXPECT_NEAR(space.video_mb, 200.7, 1e-6);
  EXPECT_NEAR(space.other_mb, 523.3, 1e-6);

  // A drive that can't be asked counts as empty; "other" never goes below 0.
  space = PspSpaceFigures('K', files);
  EXPECT_EQ(space.total_mb, 0);
  EXPECT_EQ(space.free_mb, 0);
  EXPECT_NEAR(space.video_mb, 200.7, 1e-6);
  EXPECT_EQ(space.other_mb, 0);
}

TEST(PspSpace, LegendValues) {
  // Whole MB from 1 MB on; below, tenths, a little never shown as nothing.
  const std::pair<double, const char*> cases[] = {
      {300, "300M"}, {0, "0M"},       {1234.5, "1,234M"}, {1234567, "1,234,567M"},
      {0.6, "0.6M"}, {0.55, "0.6M"},  {0.001, "0.1M"},    {0.04, "0.1M"},
      {1, "1M"},     {-1500, "0M"},
  };
  for (const auto& [megabytes, text] : cases)
    EXPECT_EQ(SpaceLegendValue(megabytes), text) << megabytes;
}

struct SizeCase {
  double megabytes;
  const char* text;
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.megabytes << " MB"; }

const SizeCase kSizeCases[] = {
    {5.04, "5.0MB"}, {12.9, "12MB"}, {0.05, "0MB"},     {10.0, "10MB"},
    {0.1, "0.1MB"},  {0.0999, "0MB"}, {9.96, "10.0MB"}, {4096.7, "4096MB"},
};

class SizeColumn : public testing::TestWithParam<SizeCase> {};

TEST_P(SizeColumn, ShowsMegabytes) {
  uint64_t bytes = static_cast<uint64_t>(GetParam().megabytes * kMegabyte + 0.5);
  EXPECT_EQ(FileSizeText(bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeColumn, testing::ValuesIn(kSizeCases));

TEST(PspSpace, SizeColumnOfEntries) {
  test::TempWorld world;
  MakeSparseFile(world.Path("M4V00001.MP4"), 12 * kMegabyte);
  EXPECT_EQ(FileSizeColumn(world.Path("M4V00001.MP4"), false), "12MB");
  EXPECT_EQ(FileSizeColumn(world.Path("missing.MP4"), false), "0MB");
  EXPECT_EQ(FileSizeColumn(world.root(), true), "");
}

}  // namespace
}  // namespace ovc
