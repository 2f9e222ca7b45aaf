#include "platform/mp3/mp3_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <map>

#include "common/trace.h"
#include "platform/mp3/lame_binding.h"

namespace ovc {

const Mp3Library& Mp3Library::Default() {
  const char* name = std::getenv(kMp3LibraryVariable);
  return Named(name != nullptr && *name != '\0' ? name : kMp3LibraryName);
}

const Mp3Library& Mp3Library::Named(const std::string& name) {
  // Never destroyed: encoders may outlive static destruction order.
  static auto* lock = new Mutex;
  static auto* libraries = new std::map<std::string, std::unique_ptr<Mp3Library>>;
  MutexLock hold(lock);
  std::unique_ptr<Mp3Library>& library = (*libraries)[name];
  if (library == nullptr) library.reset(new Mp3Library(name));
  return *library;
}

Mp3Library::Mp3Library(std::string name) : name_(std::move(name)) {
  handle_ = dlopen(name_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    TracePrintf("MP3 encoder library %s not loaded: %s", name_.c_str(), reason != nullptr ? reason : "?");
    return;
  }
  auto functions = std::make_unique<LameFunctions>();
  const char* missing = "";
  if (!ResolveLameFunctions(handle_, functions.get(), &missing)) {
    TracePrintf("MP3 encoder library %s not loaded: no %s", name_.c_str(), missing);
    dlclose(handle_);
    handle_ = nullptr;
    return;
  }
  functions_ = std::move(functions);
}

Mp3Library::~Mp3Library() {
  if (handle_ != nullptr) dlclose(handle_);
}

}  // namespace ovc
