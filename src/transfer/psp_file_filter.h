#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "transfer/psp_drive.h"

namespace ovc {

// The two file lists of the transfer window.
enum class FileListSide { kComputer, kPsp };

// Whether a file is shown: its name (after the last '/') begins with the
// kind's prefix and its extension (from the last '.') is ".mp4", or ".thm"
// while thumbnails are not hidden; prefix and extension in any letter case.
// A path without '.' or without '/' is not shown.
bool IsPspListedFile(const std::string& full_path, PspVideoKind kind, bool thumbnails_hidden);

// An MP4 video (".mp4" in any case) the filter hides: the PSP would not
// list it under its name.
bool IsUnlistedVideo(const std::string& full_path, PspVideoKind kind);

// The note under a list that hides such videos (their names given), saying
// why; "" when none is hidden.
std::string UnlistedVideosNote(const std::vector<std::string>& names, PspVideoKind kind);

// The filter of one list: folders show in the computer list only; files as
// IsPspListedFile says.
bool IsListedEntry(FileListSide side, const std::string& full_path, bool is_folder,
                   PspVideoKind kind, bool thumbnails_hidden);

// The thumbnail that travels with a video: the path with its last three
// characters replaced by "THM" (or "thm"), when such a file exists; else "".
std::string ThumbnailCompanion(const std::string& video_path);

// Limits of a collected selection, in bytes of paths with their terminators:
// collection stops after the item that takes the total past the limit.
inline constexpr size_t kTransferListLimit = 306688;    // transfer and the Delete button
inline constexpr size_t kQuickDeleteListLimit = 50688;  // the Delete key

// The paths handed to a copy or delete: each selected path in list order,
// followed by its thumbnail companion when add_thumbnails is set (thumbnails
// are hidden, yet belong with their videos).
std::vector<std::string> CollectSelection(const std::vector<std::string>& selected,
                                          bool add_thumbnails, size_t limit);

}  // namespace ovc
