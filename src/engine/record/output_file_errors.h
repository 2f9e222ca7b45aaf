#pragma once

#include <string>

namespace ovc {

// Reports that an output file could not be created: traces the system error
// and tells the user why, by whether a file of that path already exists
// (read-only or in use) or not (no folder or no permission).
void ReportCannotCreate(const std::string& path, int system_error, bool existed);

// Whether a file (or anything else) of that path exists.
bool PathExists(const std::string& path);

// Why a write into an output file failed, in the user's words, from the
// errno of the failing call: "There is no space left on the device." for
// ENOSPC, and so on; a full sentence.
std::string WriteFailureReason(int system_error);

// The first line of the message when an output file can't be written
// further and the writer has no text of its own for it.
inline constexpr char kWriteFailedWhat[] = "Could not write the output file.";

// The one message a failed write shows: the writer's own text (`what`, e.g.
// "AVI Video Write error"), then the file and why the write failed.
std::string WriteFailureText(const std::string& what, const std::string& path,
                             int system_error);

// Whether an FFmpeg error code stands for a failed write into the file (a
// full disk, the file size limit, a vanished folder, a device error), as
// opposed to a refused parameter. `system_error` gets its errno when so.
bool IsFileWriteError(int av_error, int* system_error);

}  // namespace ovc
