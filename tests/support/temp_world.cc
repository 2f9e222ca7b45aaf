#include "support/temp_world.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace ovc::test {
namespace fs = std::filesystem;

TempWorld::TempWorld() {
  std::string base = fs::temp_directory_path().string();
  if (const char* scratch = std::getenv("OVC_TEST_SCRATCH"); scratch && *scratch) {
    fs::create_directories(scratch);
    base = scratch;
  }
  std::string pattern = base + "/world-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed in " + base);
  root_ = pattern;
  fs::create_directories(home());
  fs::create_directories(temp());
  SetEnv("OVC_HOME", home());
  SetEnv("OVC_TEMP", temp());
  SetEnv("OVC_REGISTRY", registry());
}

TempWorld::~TempWorld() {
  for (const auto& [name, value] : saved_env_) {
    if (value) setenv(name.c_str(), value->c_str(), 1);
    else unsetenv(name.c_str());
  }
  std::error_code ec;
  fs::remove_all(root_, ec);
}

void TempWorld::SetEnv(const std::string& name, const std::string& value) {
  if (!saved_env_.count(name)) {
    const char* old = std::getenv(name.c_str());
    saved_env_[name] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  setenv(name.c_str(), value.c_str(), 1);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace ovc::test
