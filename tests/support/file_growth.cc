#include "support/file_growth.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace ovc::test {
namespace {

// The first file of `folder` that `accept` takes and has `bytes` bytes.
std::string GrownFile(const std::string& folder, long long bytes,
                      const std::function<bool(const std::string&)>& accept) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (!entry.is_regular_file(error)) continue;
    if (accept && !accept(entry.path().filename().string())) continue;
    const auto size = entry.file_size(error);
    if (!error && static_cast<long long>(size) >= bytes) return entry.path().string();
  }
  return "";
}

}  // namespace

std::string WaitForFileGrowth(const std::string& folder, long long bytes,
                              std::chrono::milliseconds limit,
                              const std::function<bool(const std::string& name)>& accept) {
  const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (watch < 0) return "";
  // Watched before the first look: no write falls between the two.
  if (inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MODIFY | IN_MOVED_TO) < 0) {
    close(watch);
    return "";
  }
  const auto end = std::chrono::steady_clock::now() + limit;
  std::string found;
  while ((found = GrownFile(folder, bytes, accept)).empty()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd ready{watch, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
    // The events only wake the wait; the folder is looked at again.
    char events[4096];
    while (read(watch, events, sizeof events) > 0) {
    }
  }
  close(watch);
  return found;
}

}  // namespace ovc::test
