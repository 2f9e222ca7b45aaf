#include "transfer/psp_file_filter.h"

#include <gtest/gtest.h>

#include <ostream>

#include "support/temp_world.h"

namespace ovc {
namespace {

struct FilterCase {
  const char* path;
  PspVideoKind kind;
  bool thumbnails_hidden;
  bool shown;
  bool unlisted_video = false;  // an MP4 the filter hides
};
void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.path; }

constexpr PspVideoKind kAvc = PspVideoKind::kAvc;
constexpr PspVideoKind kMpeg4 = PspVideoKind::kMpeg4;

const FilterCase kFilterCases[] = {
    {"/stick/MAQ00003.MP4", kAvc, true, true},
    {"/stick/maq00003.mp4", kAvc, true, true},
    {"/stick/M4V00003.MP4", kAvc, true, false, true},
    {"/stick/MAQ00003.THM", kAvc, true, false},
    {"/stick/MAQ00003.THM", kAvc, false, true},
    {"/stick/maq00003.thm", kAvc, false, true},
    {"/stick/M4V00001.MP4", kMpeg4, true, true},
    {"/stick/MAQ00001.MP4", kMpeg4, true, false, true},
    {"/stick/M4V00001.AVI", kMpeg4, false, false},
    {"/stick/M4V00001.MP4.part", kMpeg4, false, false},
    {"/stick/clip.mp4", kMpeg4, false, false, true},
    {"/stick/M4.mp4", kMpeg4, false, false, true},
    {"M4V00001.MP4", kMpeg4, false, false, true},
    {"/stick/M4V00001", kMpeg4, false, false},
    {"/stick.d/M4V00001", kMpeg4, false, false},
};

class Filter : public testing::TestWithParam<FilterCase> {};

TEST_P(Filter, ShowsOnlyTheKindsVideosAndThumbnails) {
  const FilterCase& c = GetParam();
  EXPECT_EQ(IsPspListedFile(c.path, c.kind, c.thumbnails_hidden), c.shown);
  EXPECT_EQ(IsListedEntry(FileListSide::kPsp, c.path, false, c.kind, c.thumbnails_hidden),
            c.shown);
  EXPECT_EQ(IsListedEntry(FileListSide::kComputer, c.path, false, c.kind, c.thumbnails_hidden),
            c.shown);
  EXPECT_EQ(IsUnlistedVideo(c.path, c.kind), c.unlisted_video);
}

INSTANTIATE_TEST_SUITE_P(Paths, Filter, testing::ValuesIn(kFilterCases));

TEST(FileFilter, NoteSaysWhyVideosAreNotListed) {
  EXPECT_EQ(UnlistedVideosNote({}, kMpeg4), "");
  EXPECT_EQ(UnlistedVideosNote({"clip.mp4"}, kMpeg4),
            "\"clip.mp4\" is not listed: the PSP shows only videos whose names begin with M4V "
            "(such as M4V00001.MP4). Rename a video to copy it.");
  EXPECT_EQ(UnlistedVideosNote({"a.mp4", "b.MP4"}, kAvc),
            "2 MP4 files (\"a.mp4\", ...) are not listed: the PSP shows only videos whose names "
            "begin with MAQ (such as MAQ00001.MP4). Rename a video to copy it.");
}

TEST(FileFilter, FoldersShowInTheComputerListOnly) {
  EXPECT_TRUE(IsListedEntry(FileListSide::kComputer, "/home/videos", true, kMpeg4, true));
  EXPECT_FALSE(IsListedEntry(FileListSide::kPsp, "/stick/MP_ROOT/M4V00001.MP4", true, kMpeg4,
                             true));
}

TEST(FileFilter, ThumbnailsTravelWithTheirVideos) {
  test::TempWorld world;
  for (const char* name : {"M4V00001.MP4", "M4V00001.THM", "m4v00002.mp4", "m4v00002.thm",
                           "M4V00003.MP4"})
    test::WriteFile(world.Path(name), "x");
  EXPECT_EQ(ThumbnailCompanion(world.Path("M4V00001.MP4")), world.Path("M4V00001.THM"));
  EXPECT_EQ(ThumbnailCompanion(world.Path("m4v00002.mp4")), world.Path("m4v00002.thm"));
  EXPECT_EQ(ThumbnailCompanion(world.Path("M4V00003.MP4")), "");

  std::vector<std::string> selected = {world.Path("M4V00001.MP4"), world.Path("M4V00003.MP4")};
  EXPECT_EQ(CollectSelection(selected, true, kTransferListLimit),
            (std::vector<std::string>{world.Path("M4V00001.MP4"), world.Path("M4V00001.THM"),
                                      world.Path("M4V00003.MP4")}));
  EXPECT_EQ(CollectSelection(selected, false, kTransferListLimit), selected);
}

TEST(FileFilter, CollectionStopsAfterTheItemThatPassesTheLimit) {
  // Paths of 100 characters take 101 bytes with their terminators.
  std::vector<std::string> selected;
  for (int i = 0; i < 4000; ++i) {
    std::string path = "/v/" + std::to_string(i);
    selected.push_back(path + std::string(100 - path.size(), 'x'));
  }
  // 3036 * 101 = 306636 is within 306688; the 3037th item passes it.
  EXPECT_EQ(CollectSelection(selected, false, kTransferListLimit).size(), 3037u);
  // 501 * 101 = 50601 is within 50688; the 502nd item passes it.
  EXPECT_EQ(CollectSelection(selected, false, kQuickDeleteListLimit).size(), 502u);
}

}  // namespace
}  // namespace ovc
