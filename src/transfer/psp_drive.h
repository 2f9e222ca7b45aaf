#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/drives/drive_table.h"

namespace ovc {

// The two kinds of PSP video. Each keeps its files in its own folder of the
// memory stick and names them with its own prefix ("M4V00001.MP4",
// "MAQ00001.MP4"), with an optional thumbnail of the same name ending ".THM".
enum class PspVideoKind { kMpeg4, kAvc };

struct PspKindInfo {
  const char* caption;         // of the kind's radio button
  const char* folder;          // on the stick, below its root
  const char* prefix;          // of every file name the PSP lists
  const char* confirmation;    // asked before creating the folder on an unknown drive
};

const PspKindInfo& PspKind(PspVideoKind kind);

// Detection takes a removable drive as a PSP by a PSP folder only when its
// size in whole MB is above 0 and below this (memory sticks of the time).
inline constexpr uint64_t kMaxPspDriveMegabytes = 9000;

// One entry of the drive list: the kind's video folder on a volume, by its
// path ("/media/me/STICK/MP_ROOT/100MNV01 (STICK)"), with the letter first
// when the user named the volume by a letter ("E: /srv/stick/MP_ROOT/100ANV01").
struct PspDriveEntry {
  int letter = -1;
  std::string text;
};
std::string PspDriveListEntry(const Drive& drive, PspVideoKind kind);
// An entry per volume of the table, in its order.
std::vector<PspDriveEntry> PspDriveList(const DriveTable& drives, PspVideoKind kind);

// The folder of the kind's videos on the drive of a letter (the drive's root
// followed by MP_ROOT/100MNV01 or MP_ROOT/100ANV01; an existing folder whose
// name differs only in letter case is used as it is). "" when the letter
// stands for no drive.
std::string PspVideoFolder(int letter, PspVideoKind kind);
std::string PspVideoFolder(const DriveTable& drives, int letter, PspVideoKind kind);

// Finds the PSP among the removable drives "C" to "Z": the first drive
// holding "MEMSTICK.IND" at its root, else the first drive of a memory
// stick's size (see kMaxPspDriveMegabytes) holding a "PSP" folder at its
// root, else the first drive holding the video folder tree "MP_ROOT" (names
// in any case). Returns its letter, or -1. Sets *psp_present to whether one
// was found.
int DetectPspDrive(bool* psp_present = nullptr);
int DetectPspDrive(const DriveTable& drives, bool* psp_present = nullptr);

// folder + "/" + name, where name is replaced by the spelling of an existing
// entry of the folder that equals it but for ASCII letter case (the stick's
// own file system may be case-insensitive, a copy of it elsewhere is not).
std::string JoinNoCase(const std::string& folder, std::string_view name);

}  // namespace ovc
