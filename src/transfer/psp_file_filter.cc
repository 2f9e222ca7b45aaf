#include "transfer/psp_file_filter.h"

#include <sys/stat.h>

#include "transfer/mp4_boxes.h"

namespace ovc {

namespace {

bool StartsWithNoCase(const std::string& text, std::string_view start) {
  return text.size() >= start.size() &&
         TypeIs(reinterpret_cast<const uint8_t*>(text.data()), start);
}

bool EqualsNoCase(const std::string& text, std::string_view other) {
  return text.size() == other.size() && StartsWithNoCase(text, other);
}

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool IsPspListedFile(const std::string& full_path, PspVideoKind kind, bool thumbnails_hidden) {
  size_t dot = full_path.rfind('.');
  size_t slash = full_path.rfind('/');
  if (dot == std::string::npos || slash == std::string::npos) return false;
  std::string name = full_path.substr(slash + 1);
  std::string extension = full_path.substr(dot);
  if (!StartsWithNoCase(name, PspKind(kind).prefix)) return false;
  return EqualsNoCase(extension, ".mp4") ||
         (EqualsNoCase(extension, ".thm") && !thumbnails_hidden);
}

bool IsUnlistedVideo(const std::string& full_path, PspVideoKind kind) {
  const size_t dot = full_path.rfind('.');
  return dot != std::string::npos && EqualsNoCase(full_path.substr(dot), ".mp4") &&
         !IsPspListedFile(full_path, kind, true);
}

std::string UnlistedVideosNote(const std::vector<std::string>& names, PspVideoKind kind) {
  if (names.empty()) return std::string();
  std::string note;
  if (names.size() == 1)
    note = "\"" + names[0] + "\" is not listed";
  else
    note = std::to_string(names.size()) + " MP4 files (\"" + names[0] + "\", ...) are not listed";
  const std::string prefix = PspKind(kind).prefix;
  return note + ": the PSP shows only videos whose names begin with " + prefix + " (such as " +
         prefix + "00001.MP4). Rename a video to copy it.";
}

bool IsListedEntry(FileListSide side, const std::string& full_path, bool is_folder,
                   PspVideoKind kind, bool thumbnails_hidden) {
  if (is_folder) return side == FileListSide::kComputer;
  return IsPspListedFile(full_path, kind, thumbnails_hidden);
}

std::string ThumbnailCompanion(const std::string& video_path) {
  if (video_path.size() < 3) return std::string();
  std::string stem = video_path.substr(0, video_path.size() - 3);
  for (const char* extension : {"THM", "thm"}) {
    std::string candidate = stem + extension;
    if (candidate != video_path && IsFile(candidate)) return candidate;
  }
  return std::string();
}

std::vector<std::string> CollectSelection(const std::vector<std::string>& selected,
                                          bool add_thumbnails, size_t limit) {
  std::vector<std::string> paths;
  size_t used = 0;
  for (const std::string& path : selected) {
    paths.push_back(path);
    used += path.size() + 1;
    if (add_thumbnails) {
      std::string thumbnail = ThumbnailCompanion(path);
      if (!thumbnail.empty()) {
        paths.push_back(thumbnail);
        used += thumbnail.size() + 1;
      }
    }
    if (used > limit) break;
  }
  return paths;
}

}  // namespace ovc
