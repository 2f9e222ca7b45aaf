#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ovc {

// One line of /proc/self/mountinfo, with its escapes undone.
struct MountEntry {
  unsigned major = 0;
  unsigned minor = 0;
  std::string root;         // the folder of the file system mounted here ("/" for all of it)
  std::string mount_point;  // where it is mounted
  std::string fs_type;
  std::string source;
};

// Parses the text of a mountinfo file. Lines that do not have the fields of
// a mount ("ID PARENT MAJ:MIN ROOT POINT OPTIONS [TAGS...] - TYPE SOURCE
// SUPER") are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// Undoes the kernel's octal escapes (\040 space, \011 tab, \012 line feed,
// \134 backslash, any \ooo); a backslash not followed by three octal digits
// is kept as it is.
std::string UnescapeMountField(std::string_view field);

// Whether the block device major:minor lies on a disk that the kernel marks
// as removable (<disk>/removable holds 1). A partition is judged by its
// disk. sysfs_root is "/sys" except in tests.
bool IsRemovableBlockDevice(unsigned major, unsigned minor, const std::string& sysfs_root = "/sys");

// The label of the volume on a device ("/dev/sdb1"), as the links of
// by_label_dir name it (udev's "/dev/disk/by-label", with its \xHH escapes
// undone); "" when no link leads to the device.
std::string VolumeLabel(const std::string& device,
                        const std::string& by_label_dir = "/dev/disk/by-label");

}  // namespace ovc
