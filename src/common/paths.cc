#include "common/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

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
  return StripTrailingSlash(EnvOr("TMPDIR", "/tmp"));
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

}  // namespace ovc
