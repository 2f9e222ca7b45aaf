#include "transfer/psp_drive.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

namespace ovc {

namespace {

constexpr PspKindInfo kMpeg4Info = {
    "MPEG4 Video", "MP_ROOT/100MNV01", "M4V",
    "This drive does not seems to be a PSP drive. Are you sure to creat PSP video folder "
    "\"MP_ROOT\\100MNV01\" "};
constexpr PspKindInfo kAvcInfo = {
    "AVC(H.264) Video", "MP_ROOT/100ANV01", "MAQ",
    "This drive does not seems to be a PSP drive. Are you sure to creat PSP video folder "
    "\"MP_ROOT\\100ANV01\" "};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

}  // namespace

const PspKindInfo& PspKind(PspVideoKind kind) {
  return kind == PspVideoKind::kAvc ? kAvcInfo : kMpeg4Info;
}

std::string PspDriveListEntry(const Drive& drive, PspVideoKind kind) {
  std::string entry;
  if (drive.named_by_letter) entry = std::string(1, static_cast<char>(drive.letter)) + ": ";
  entry += drive.root == "/" ? std::string() : drive.root;
  entry += '/';
  entry += PspKind(kind).folder;
  if (!drive.label.empty()) entry += " (" + drive.label + ")";
  return entry;
}

std::vector<PspDriveEntry> PspDriveList(const DriveTable& drives, PspVideoKind kind) {
  std::vector<PspDriveEntry> entries;
  for (const Drive& drive : drives.drives())
    entries.push_back({drive.letter, PspDriveListEntry(drive, kind)});
  return entries;
}

std::string JoinNoCase(const std::string& folder, std::string_view name) {
  std::string base = folder;
  if (base.empty() || base.back() != '/') base += '/';
  if (Exists(base + std::string(name))) return base + std::string(name);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), &closedir);
  if (dir) {
    while (const dirent* entry = readdir(dir.get()))
      if (EqualNoCase(entry->d_name, name)) return base + entry->d_name;
  }
  return base + std::string(name);
}

std::string PspVideoFolder(const DriveTable& drives, int letter, PspVideoKind kind) {
  const Drive* drive = drives.Find(letter);
  if (!drive) return std::string();
  std::string_view folder = PspKind(kind).folder;
  size_t slash = folder.find('/');
  return JoinNoCase(JoinNoCase(drive->root, folder.substr(0, slash)), folder.substr(slash + 1));
}

std::string PspVideoFolder(int letter, PspVideoKind kind) {
  return PspVideoFolder(DriveTable::Load(), letter, kind);
}

int DetectPspDrive(const DriveTable& drives, bool* psp_present) {
  int found = -1;
  // A memory stick marks itself with MEMSTICK.IND, whatever its size.
  for (int letter = 'C'; letter <= 'Z' && found < 0; ++letter) {
    if (drives.IsRemovable(letter) && Exists(JoinNoCase(drives.Root(letter), "MEMSTICK.IND")))
      found = letter;
  }
  // Otherwise a PSP folder on a drive of a memory stick's size.
  for (int letter = 'C'; letter <= 'Z' && found < 0; ++letter) {
    if (!drives.IsRemovable(letter)) continue;
    DriveSpace space;
    if (drives.QuerySpace(letter, &space) != 0) continue;
    uint64_t megabytes = space.total_bytes / 1024 / 1024;
    if (megabytes > 0 && megabytes < kMaxPspDriveMegabytes &&
        Exists(JoinNoCase(drives.Root(letter), "PSP")))
      found = letter;
  }
  // Otherwise the PSP's video folder tree, on a card of any size.
  for (int letter = 'C'; letter <= 'Z' && found < 0; ++letter) {
    if (drives.IsRemovable(letter) && Exists(JoinNoCase(drives.Root(letter), "MP_ROOT")))
      found = letter;
  }
  if (psp_present) *psp_present = found >= 0;
  return found;
}

int DetectPspDrive(bool* psp_present) { return DetectPspDrive(DriveTable::Load(), psp_present); }

}  // namespace ovc
