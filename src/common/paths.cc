#include "common/paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/mutex.h"

namespace ovc {
namespace fs = std::filesystem;

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return (value && *value) ? std::string(value) : fallback;
}

std::string StripTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The name of our folder below the user's runtime or cache folder.
constexpr char kTempFolderName[] = "orvane";

// True when `path` is a real folder (not a link to one) that belongs to this
// user and that nobody else may enter.
bool IsPrivateFolder(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
         (info.st_mode & 077) == 0;
}

// Makes `path` such a folder: creates it with mode 0700 when missing; a
// folder of ours that others may enter loses their rights. False when
// something else is there (a link, a file, another user's folder).
bool MakePrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  // O_NOFOLLOW: a link planted in the folder's place is refused, not followed.
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool ours = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid();
  if (ours && (info.st_mode & 077) != 0) ours = fchmod(fd, 0700) == 0;
  close(fd);
  return ours;
}

// The private temporary folder for the current environment, made when
// missing; "" when none of the candidates can be made private.
std::string FindPrivateTempFolder() {
  std::vector<std::string> candidates;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/')
    candidates.push_back(StripTrailingSlash(runtime) + "/" + kTempFolderName);
  std::string cache = EnvOr("XDG_CACHE_HOME", "");
  if (cache.empty() || cache[0] != '/') cache = HomeFolder() + "/.cache";
  // The cache folder may not exist yet in a fresh home; the runtime folder
  // is the session's to make.
  std::error_code ec;
  fs::create_directories(cache, ec);
  candidates.push_back(StripTrailingSlash(cache) + "/" + kTempFolderName);
  // A shared folder only with a name of our own, checked to be ours.
  candidates.push_back(StripTrailingSlash(EnvOr("TMPDIR", "/tmp")) + "/" + kTempFolderName + "-" +
                       std::to_string(geteuid()));
  for (const std::string& folder : candidates) {
    if (MakePrivateFolder(folder)) return folder;
  }
  return "";
}

}  // namespace

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return StripTrailingSlash(home);
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
    return StripTrailingSlash(entry->pw_dir);
  return "/";
}

std::string ProgramFolder() {
  if (const char* home = std::getenv("OVC_HOME"); home && *home)
    return StripTrailingSlash(home);
  std::string data_home = EnvOr("XDG_DATA_HOME", HomeFolder() + "/.local/share");
  return StripTrailingSlash(data_home) + "/orvane-video-converter";
}

std::string TempFolder() {
  if (const char* temp = std::getenv("OVC_TEMP"); temp && *temp)
    return StripTrailingSlash(temp);
  // Every trace line asks, so the folder found is kept while the variables
  // that chose it stay the same and it is still private.
  static Mutex mutex;
  static std::string chosen_for OVC_GUARDED_BY(mutex);
  static std::string chosen OVC_GUARDED_BY(mutex);
  std::string key = EnvOr("XDG_RUNTIME_DIR", "") + '\n' + EnvOr("XDG_CACHE_HOME", "") + '\n' +
                    HomeFolder() + '\n' + EnvOr("TMPDIR", "");
  MutexLock lock(&mutex);
  if (key == chosen_for && !chosen.empty() && IsPrivateFolder(chosen)) return chosen;
  chosen = FindPrivateTempFolder();
  chosen_for = key;
  return chosen.empty() ? ProgramFolder() : chosen;
}

std::string ShippedDataFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "";
  fs::path data = exe.parent_path().parent_path() / "share" / "orvane-video-converter";
  if (!fs::is_directory(data, ec)) return "";
  return data.lexically_normal().string();
}

int PrepareProgramFolder() {
  std::error_code ec;
  fs::path folder = ProgramFolder();
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) return -1;
  std::string shipped = ShippedDataFolder();
  if (shipped.empty()) return 0;
  for (auto it = fs::recursive_directory_iterator(shipped, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::path relative = it->path().lexically_relative(shipped);
    fs::path target = folder / relative;
    if (it->is_directory(ec)) {
      fs::create_directories(target, ec);
    } else if (!fs::exists(target, ec)) {
      fs::copy_file(it->path(), target, fs::copy_options::skip_existing, ec);
    }
    ec.clear();
  }
  return 0;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool ReadRegularFile(const std::string& path, std::string* contents, bool follow_links) {
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow_links ? 0 : O_NOFOLLOW);
  const int fd = open(path.c_str(), flags);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  std::string data;
  char buffer[65536];
  while (ok) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    data.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  if (ok) *contents = std::move(data);
  return ok;
}

}  // namespace ovc
