#include "platform/drives/drive_table.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

namespace ovc {

namespace {

int NormaliseLetter(int letter) {
  if (letter >= 'a' && letter <= 'z') return letter - 'a' + 'A';
  return letter;
}

bool IsLetter(int letter) { return letter >= 'A' && letter <= 'Z'; }

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (true) {
    size_t end = text.find(separator, pos);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(pos));
      return parts;
    }
    parts.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
}

}  // namespace

bool ParseByteSize(std::string_view text, uint64_t* bytes) {
  text = Trim(text);
  if (text.empty()) return false;
  uint64_t unit = 1;
  switch (text.back()) {
    case 'K': case 'k': unit = 1ull << 10; break;
    case 'M': case 'm': unit = 1ull << 20; break;
    case 'G': case 'g': unit = 1ull << 30; break;
    case 'T': case 't': unit = 1ull << 40; break;
    default: break;
  }
  if (unit != 1) text.remove_suffix(1);
  if (text.empty()) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    if (value > (UINT64_MAX - 9) / 10) return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > UINT64_MAX / unit) return false;
  *bytes = value * unit;
  return true;
}

std::vector<Drive> ParseDriveOverride(std::string_view text) {
  std::vector<Drive> drives;
  std::set<int> seen;
  for (std::string_view item : Split(text, ';')) {
    size_t equals = item.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view name = Trim(item.substr(0, equals));
    if (name.size() != 1) continue;
    int letter = NormaliseLetter(static_cast<unsigned char>(name[0]));
    if (!IsLetter(letter) || seen.count(letter)) continue;
    std::vector<std::string_view> parts = Split(item.substr(equals + 1), '|');
    std::string_view folder = Trim(parts[0]);
    if (folder.empty() || parts.size() > 3) continue;
    Drive drive;
    drive.letter = letter;
    drive.root = StripTrailingSlashes(std::string(folder));
    drive.removable = true;
    drive.named_by_letter = true;
    uint64_t bytes = 0;
    if (parts.size() >= 2) {
      if (!ParseByteSize(parts[1], &bytes)) continue;
      drive.total_bytes = bytes;
    }
    if (parts.size() == 3) {
      if (!ParseByteSize(parts[2], &bytes)) continue;
      drive.free_bytes = bytes;
    }
    seen.insert(letter);
    drives.push_back(std::move(drive));
  }
  return drives;
}

DriveTable::DriveTable(std::vector<Drive> drives) : drives_(std::move(drives)) {}

DriveTable DriveTable::FromMounts(const std::vector<MountEntry>& mounts,
                                  const std::function<bool(unsigned, unsigned)>& is_removable,
                                  const std::function<std::string(const MountEntry&)>& label_of) {
  std::set<std::pair<unsigned, unsigned>> seen;
  std::vector<const MountEntry*> volumes;
  for (const MountEntry& mount : mounts) {
    // A mount of a sub-folder (a bind mount) is not the volume itself.
    if (mount.major == 0 || mount.root != "/") continue;
    if (!seen.insert({mount.major, mount.minor}).second) continue;
    if (!is_removable(mount.major, mount.minor)) continue;
    volumes.push_back(&mount);
  }
  std::sort(volumes.begin(), volumes.end(), [](const MountEntry* a, const MountEntry* b) {
    return a->mount_point < b->mount_point;
  });
  std::vector<Drive> drives;
  int letter = 'C';
  for (const MountEntry* volume : volumes) {
    if (letter > 'Z') break;
    Drive drive;
    drive.letter = letter++;
    drive.root = StripTrailingSlashes(volume->mount_point);
    drive.removable = true;
    if (label_of) drive.label = label_of(*volume);
    drives.push_back(std::move(drive));
  }
  return DriveTable(std::move(drives));
}

DriveTable DriveTable::Load() {
  if (const char* text = std::getenv("OVC_DRIVES"); text && *text)
    return DriveTable(ParseDriveOverride(text));
  std::ifstream in("/proc/self/mountinfo");
  std::ostringstream content;
  content << in.rdbuf();
  return FromMounts(
      ParseMountInfo(content.str()),
      [](unsigned major, unsigned minor) { return IsRemovableBlockDevice(major, minor); },
      [](const MountEntry& mount) { return VolumeLabel(mount.source); });
}

const Drive* DriveTable::Find(int letter) const {
  letter = NormaliseLetter(letter);
  for (const Drive& drive : drives_)
    if (drive.letter == letter) return &drive;
  return nullptr;
}

bool DriveTable::IsRemovable(int letter) const {
  const Drive* drive = Find(letter);
  return drive && drive->removable;
}

std::string DriveTable::Root(int letter) const {
  const Drive* drive = Find(letter);
  return drive ? drive->root : std::string();
}

bool DriveTable::VolumePresent(int letter) const {
  const Drive* drive = Find(letter);
  struct stat info;
  return drive && stat(drive->root.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int DriveTable::QuerySpace(int letter, DriveSpace* space) const {
  const Drive* drive = Find(letter);
  if (!drive) return -1;
  DriveSpace result;
  if (!drive->total_bytes || !drive->free_bytes) {
    struct statvfs info;
    if (statvfs(drive->root.c_str(), &info) != 0) return -1;
    result.total_bytes = static_cast<uint64_t>(info.f_blocks) * info.f_frsize;
    result.free_bytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  }
  if (drive->total_bytes) {
    result.total_bytes = *drive->total_bytes;
    // The real free space of the folder cannot exceed the stand-in total.
    if (!drive->free_bytes) result.free_bytes = std::min(result.free_bytes, result.total_bytes);
  }
  if (drive->free_bytes) result.free_bytes = *drive->free_bytes;
  *space = result;
  return 0;
}

}  // namespace ovc
