#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/drives/mount_info.h"

namespace ovc {

// Drive letters stand for volumes: the programs that copy to a memory stick
// name its volume by a letter "A" to "Z". Letters are plain ints holding the
// upper-case character ('E'); -1 means none.

struct Drive {
  int letter = 0;
  std::string root;  // the folder the letter stands for (a mount point), no trailing '/'
  bool removable = true;
  // The volume's label ("" when it has none or it is not known).
  std::string label;
  // The letter was given by the user (OVC_DRIVES) and is shown; the letters
  // of mounted volumes are only the program's own handles.
  bool named_by_letter = false;
  // Sizes given by the override instead of asking the file system.
  std::optional<uint64_t> total_bytes;
  std::optional<uint64_t> free_bytes;
};

// Size of a volume in bytes; free is what an ordinary user may still write.
struct DriveSpace {
  uint64_t total_bytes = 0;
  uint64_t free_bytes = 0;
};

// The drive letters of this machine. Without OVC_DRIVES, the letters "C"
// onwards stand for the mounted removable volumes (a block device on a disk
// that the kernel marks removable), ordered by mount point; a volume mounted
// more than once is taken at its first whole mount. With OVC_DRIVES set
// (tests, unusual set-ups), its entries replace the table and count as
// removable:
//
//   OVC_DRIVES="E=/media/stick;F=/srv/card|1024M|300M"
//
// Each entry is LETTER=FOLDER, optionally followed by |TOTAL and |FREE sizes
// (bytes, or with a K, M, G or T suffix of powers of 1024) that stand in for
// the file system's own figures. Entries that don't parse are ignored; a
// repeated letter keeps its first entry.
class DriveTable {
 public:
  DriveTable() = default;
  explicit DriveTable(std::vector<Drive> drives);

  // The table as it stands now (mounts change: load it afresh for each
  // operation that needs it).
  static DriveTable Load();
  // The table of removable volumes among these mounts.
  // label_of names a volume's label (none when not given).
  static DriveTable FromMounts(const std::vector<MountEntry>& mounts,
                               const std::function<bool(unsigned, unsigned)>& is_removable,
                               const std::function<std::string(const MountEntry&)>& label_of = {});

  const std::vector<Drive>& drives() const { return drives_; }

  // The drive of a letter (either case), or nullptr.
  const Drive* Find(int letter) const;
  bool IsRemovable(int letter) const;
  // The letter's folder, or "" when the letter stands for nothing.
  std::string Root(int letter) const;
  // Whether the letter's volume is there: its folder exists as a folder.
  bool VolumePresent(int letter) const;
  // Fills *space from the override or statvfs. Returns 0, or -1 when the
  // letter stands for nothing or the file system can't be asked.
  int QuerySpace(int letter, DriveSpace* space) const;

 private:
  std::vector<Drive> drives_;
};

// Parses the OVC_DRIVES text (see DriveTable).
std::vector<Drive> ParseDriveOverride(std::string_view text);

// Parses "1024", "16G", "300M", "12K" (powers of 1024). False on anything else
// or on overflow.
bool ParseByteSize(std::string_view text, uint64_t* bytes);

}  // namespace ovc
