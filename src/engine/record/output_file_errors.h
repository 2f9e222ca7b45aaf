#pragma once

#include <string>

namespace ovc {

// Reports that an output file could not be created: traces the system error
// and tells the user why, by whether a file of that path already exists
// (read-only or in use) or not (no folder or no permission).
void ReportCannotCreate(const std::string& path, int system_error, bool existed);

// Whether a file (or anything else) of that path exists.
bool PathExists(const std::string& path);

}  // namespace ovc
