#pragma once

#include <map>
#include <optional>
#include <string>

namespace ovc::test {

// A temporary world for one test: a fresh folder with home/, temp/ and a
// registry path, and OVC_HOME, OVC_TEMP and OVC_REGISTRY pointing into it.
// The variables are put back and the folder removed at the end.
class TempWorld {
 public:
  TempWorld();
  ~TempWorld();
  TempWorld(const TempWorld&) = delete;
  TempWorld& operator=(const TempWorld&) = delete;

  const std::string& root() const { return root_; }
  std::string home() const { return root_ + "/home"; }
  std::string temp() const { return root_ + "/temp"; }
  std::string registry() const { return root_ + "/registry.sqlite3"; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  // Sets an environment variable for the lifetime of the world.
  void SetEnv(const std::string& name, const std::string& value);

 private:
  std::string root_;
  std::map<std::string, std::optional<std::string>> saved_env_;
};

// Writes bytes to a file, creating folders as needed.
void WriteFile(const std::string& path, const std::string& bytes);
// The whole file, or "" when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace ovc::test
