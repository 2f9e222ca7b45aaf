#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace ovc::test {

// Waits until a file in `folder` whose name `accept` takes (any name when
// empty) holds at least `bytes` bytes, as another process writes it. The
// folder is watched for changes (no polling); returns the file's path, or
// "" when `limit` passed first or the folder cannot be watched.
std::string WaitForFileGrowth(const std::string& folder, long long bytes,
                              std::chrono::milliseconds limit,
                              const std::function<bool(const std::string& name)>& accept = {});

}  // namespace ovc::test
