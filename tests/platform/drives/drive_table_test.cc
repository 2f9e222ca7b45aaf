#include "platform/drives/drive_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "support/temp_world.h"

namespace ovc {
namespace {

MountEntry Mount(unsigned major, unsigned minor, const char* root, const char* point) {
  MountEntry mount;
  mount.major = major;
  mount.minor = minor;
  mount.root = root;
  mount.mount_point = point;
  return mount;
}

TEST(DriveTable, LettersStandForRemovableVolumesByMountPoint) {
  std::vector<MountEntry> mounts = {
      Mount(8, 1, "/", "/"),                        // fixed disk
      Mount(8, 17, "/", "/media/me/STICK 2/"),      // removable
      Mount(0, 45, "/", "/tmp"),                    // no device
      Mount(8, 33, "/sub", "/mnt/part-of-card"),    // a sub-folder of the card
      Mount(8, 33, "/", "/media/me/CARD"),          // removable
      Mount(8, 17, "/", "/mnt/again"),              // the stick a second time
  };
  mounts[4].source = "/dev/sdc1";
  DriveTable table = DriveTable::FromMounts(
      mounts, [](unsigned major, unsigned minor) { return major == 8 && minor != 1; },
      [](const MountEntry& mount) { return mount.source == "/dev/sdc1" ? "CARD" : ""; });
  ASSERT_EQ(table.drives().size(), 2u);
  EXPECT_EQ(table.Root('C'), "/media/me/CARD");
  EXPECT_EQ(table.Find('C')->label, "CARD");
  EXPECT_EQ(table.Find('D')->label, "");
  // Letters of mounted volumes are the program's own; the user never named them.
  EXPECT_FALSE(table.Find('C')->named_by_letter);
  EXPECT_EQ(table.Root('d'), "/media/me/STICK 2");
  EXPECT_TRUE(table.IsRemovable('D'));
  EXPECT_EQ(table.Root('E'), "");
  EXPECT_FALSE(table.IsRemovable('E'));
}

TEST(DriveTable, OverrideEntries) {
  std::vector<Drive> drives =
      ParseDriveOverride("E=/a/;f=/b|1G|300M; G = /c d ;bad;H=;E=/dup;I=/x|12Q;J=/y|2M|1M|0");
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[0].letter, 'E');
  EXPECT_EQ(drives[0].root, "/a");
  EXPECT_FALSE(drives[0].total_bytes);
  EXPECT_EQ(drives[1].letter, 'F');
  EXPECT_EQ(*drives[1].total_bytes, 1ull << 30);
  EXPECT_EQ(*drives[1].free_bytes, 300ull << 20);
  EXPECT_EQ(drives[2].root, "/c d");
  EXPECT_TRUE(drives[2].named_by_letter);
}

TEST(MountInfo, VolumeLabelFollowsTheLinksOfTheLabelFolder) {
  test::TempWorld world;
  const std::string devices = world.Path("dev");
  const std::string labels = world.Path("by-label");
  std::filesystem::create_directories(labels);
  test::WriteFile(devices + "/sdb1", "");
  test::WriteFile(devices + "/sdc1", "");
  test::WriteFile(devices + "/sdd1", "");
  std::filesystem::create_symlink("../dev/sdb1", labels + "/MY\\x20STICK");
  std::filesystem::create_symlink(devices + "/sdc1", labels + "/CARD");
  EXPECT_EQ(VolumeLabel(devices + "/sdb1", labels), "MY STICK");
  EXPECT_EQ(VolumeLabel(devices + "/sdc1", labels), "CARD");
  EXPECT_EQ(VolumeLabel(devices + "/sdd1", labels), "");
  EXPECT_EQ(VolumeLabel(devices + "/none", labels), "");
  EXPECT_EQ(VolumeLabel(devices + "/sdb1", world.Path("no-such-folder")), "");
}

struct SizeCase {
  const char* text;
  bool ok;
  uint64_t bytes;
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class ByteSize : public testing::TestWithParam<SizeCase> {};

TEST_P(ByteSize, Parses) {
  uint64_t bytes = 0;
  EXPECT_EQ(ParseByteSize(GetParam().text, &bytes), GetParam().ok);
  if (GetParam().ok) {
    EXPECT_EQ(bytes, GetParam().bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ByteSize,
    testing::Values(SizeCase{"1024", true, 1024}, SizeCase{"12K", true, 12288},
                    SizeCase{"300M", true, 300ull << 20}, SizeCase{"16g", true, 16ull << 30},
                    SizeCase{"2T", true, 2ull << 40}, SizeCase{"", false, 0},
                    SizeCase{"M", false, 0}, SizeCase{"-1", false, 0},
                    SizeCase{"1.5G", false, 0}, SizeCase{"99999999999999999999", false, 0},
                    SizeCase{"17179869184G", false, 0}));

TEST(DriveTable, LoadTakesTheOverrideAndItsSizes) {
  test::TempWorld world;
  world.SetEnv("OVC_DRIVES", "E=" + world.home() + "|1G|300M;F=" + world.temp() + ";G=" +
                                 world.Path("gone") + ";H=" + world.temp() + "|1K");
  DriveTable table = DriveTable::Load();
  EXPECT_TRUE(table.IsRemovable('E'));
  EXPECT_TRUE(table.VolumePresent('E'));
  EXPECT_FALSE(table.VolumePresent('G'));
  EXPECT_FALSE(table.VolumePresent('K'));

  DriveSpace space;
  ASSERT_EQ(table.QuerySpace('E', &space), 0);
  EXPECT_EQ(space.total_bytes, 1ull << 30);
  EXPECT_EQ(space.free_bytes, 300ull << 20);
  ASSERT_EQ(table.QuerySpace('F', &space), 0);  // the file system's own figures
  EXPECT_GT(space.total_bytes, 0u);
  EXPECT_LE(space.free_bytes, space.total_bytes);
  ASSERT_EQ(table.QuerySpace('H', &space), 0);
  EXPECT_EQ(space.total_bytes, 1024u);
  EXPECT_LE(space.free_bytes, 1024u);
  EXPECT_EQ(table.QuerySpace('G', &space), -1);
  EXPECT_EQ(table.QuerySpace('K', &space), -1);
}

}  // namespace
}  // namespace ovc
