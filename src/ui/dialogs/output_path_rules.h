#pragma once

#include <cstddef>
#include <string>

namespace ovc {

// The longest output path the program keeps, in bytes.
inline constexpr size_t kMaxOutputPathBytes = 511;

// The save dialog's filter for an output format code: 0 and 3 "AVI|*.avi",
// 1 "WMV|*.wmv", 2 "MP4|*.mp4", 6 "3gp|*.3gp"; nullptr for every other code
// (the dialog then keeps the filter it had).
const char* SaveFilterForFormat(int format);

// The file part of a path: everything from its last '/' on, that '/'
// included ("/clip.wmv" of "/home/me/clip.wmv"); "" when it has no '/'.
std::string FilePartOf(const std::string& path);

// Everything before the last '/' of a path; the whole path when it has none.
std::string FolderPartOf(const std::string& path);

// The first `limit` bytes of a UTF-8 text, not ending inside a character.
std::string CutUtf8(const std::string& text, size_t limit);

// The path cut to kMaxOutputPathBytes, never inside a UTF-8 character.
std::string LimitOutputPath(const std::string& path);

// "untitled." and the extension of the container (0/3 avi, 1 wmv, 2 mp4,
// 4 mpg, 5 vob, 6 3gp, 7 mov; "untitled.mp4" for any other code).
std::string UntitledFileName(int format);

}  // namespace ovc
