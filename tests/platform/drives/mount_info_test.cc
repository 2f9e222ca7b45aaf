#include "platform/drives/mount_info.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_world.h"

namespace ovc {
namespace {

TEST(MountInfo, ParsesLinesWithEscapesAndTags) {
  const char* text =
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "95 22 8:17 / /media/me/MY\\040STICK rw,nosuid shared:52 master:3 - vfat /dev/sdb1 rw\n"
      "96 22 8:33 /sub\\134dir /mnt/bind rw - ext4 /dev/sdc1 rw\n"
      "97 22 0:45 / /tmp rw - tmpfs tmpfs rw\n"
      "garbage line\n"
      "98 22 8:x / /bad rw - ext4 /dev/sdd1 rw\n"
      "99 22 8:49 / /no-separator rw ext4 /dev/sde1 rw\n";
  std::vector<MountEntry> mounts = ParseMountInfo(text);
  ASSERT_EQ(mounts.size(), 4u);
  EXPECT_EQ(mounts[0].mount_point, "/");
  EXPECT_EQ(mounts[1].major, 8u);
  EXPECT_EQ(mounts[1].minor, 17u);
  EXPECT_EQ(mounts[1].mount_point, "/media/me/MY STICK");
  EXPECT_EQ(mounts[1].fs_type, "vfat");
  EXPECT_EQ(mounts[1].source, "/dev/sdb1");
  EXPECT_EQ(mounts[2].root, "/sub\\dir");
  EXPECT_EQ(mounts[3].major, 0u);
  EXPECT_EQ(mounts[3].fs_type, "tmpfs");
}

TEST(MountInfo, UndoesOctalEscapesOnly) {
  EXPECT_EQ(UnescapeMountField("a\\040b\\011c\\012d"), "a b\tc\nd");
  EXPECT_EQ(UnescapeMountField("\\134\\134"), "\\\\");
  EXPECT_EQ(UnescapeMountField("end\\04"), "end\\04");
  EXPECT_EQ(UnescapeMountField("\\400x\\8aa"), "\\400x\\8aa");
  EXPECT_EQ(UnescapeMountField("\\303\\251"), "\xC3\xA9");
}

TEST(MountInfo, RemovableDisksComeFromSysfs) {
  test::TempWorld world;
  namespace fs = std::filesystem;
  std::string sys = world.Path("sys");
  std::string block = sys + "/devices/pci0000:00/usb1/host6/block";
  test::WriteFile(block + "/sdb/removable", "1\n");
  test::WriteFile(block + "/sdb/sdb1/partition", "1\n");
  test::WriteFile(block + "/sda/removable", "0\n");
  test::WriteFile(block + "/sda/sda1/partition", "1\n");
  test::WriteFile(block + "/mmcblk0/removable", "1\n");
  fs::create_directories(sys + "/dev/block");
  fs::create_symlink(block + "/sdb/sdb1", sys + "/dev/block/8:17");
  fs::create_symlink(block + "/sda/sda1", sys + "/dev/block/8:1");
  fs::create_symlink(block + "/mmcblk0", sys + "/dev/block/179:0");

  EXPECT_TRUE(IsRemovableBlockDevice(8, 17, sys));
  EXPECT_TRUE(IsRemovableBlockDevice(179, 0, sys));
  EXPECT_FALSE(IsRemovableBlockDevice(8, 1, sys));
  EXPECT_FALSE(IsRemovableBlockDevice(8, 33, sys));
  EXPECT_FALSE(IsRemovableBlockDevice(0, 45, sys));
}

}  // namespace
}  // namespace ovc
