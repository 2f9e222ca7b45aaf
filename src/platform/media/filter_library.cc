#include "platform/media/filter_library.h"

#include <dlfcn.h>

#include <memory>
#include <string>

#include "common/trace.h"

namespace ovc::media {
namespace {

template <typename Function>
bool Resolve(void* handle, const char* name, Function* function, const char** missing) {
  *function = reinterpret_cast<Function>(dlsym(handle, name));
  if (*function == nullptr && **missing == '\0') *missing = name;
  return *function != nullptr;
}

const FilterLibrary* Open() {
  const std::string name = "libavfilter.so." + std::to_string(LIBAVFILTER_VERSION_MAJOR);
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    TracePrintf("%s not loaded: %s", name.c_str(), reason != nullptr ? reason : "?");
    return nullptr;
  }
  auto library = std::make_unique<FilterLibrary>();
  const char* missing = "";
  bool found = Resolve(handle, "avfilter_get_by_name", &library->get_by_name, &missing);
  found &= Resolve(handle, "avfilter_graph_alloc", &library->graph_alloc, &missing);
  found &= Resolve(handle, "avfilter_graph_free", &library->graph_free, &missing);
  found &= Resolve(handle, "avfilter_graph_create_filter", &library->graph_create_filter,
                   &missing);
  found &= Resolve(handle, "avfilter_graph_parse_ptr", &library->graph_parse_ptr, &missing);
  found &= Resolve(handle, "avfilter_graph_config", &library->graph_config, &missing);
  found &= Resolve(handle, "avfilter_inout_alloc", &library->inout_alloc, &missing);
  found &= Resolve(handle, "avfilter_inout_free", &library->inout_free, &missing);
  found &= Resolve(handle, "av_buffersrc_add_frame", &library->buffersrc_add_frame, &missing);
  found &= Resolve(handle, "av_buffersink_get_frame", &library->buffersink_get_frame, &missing);
  if (!found) {
    TracePrintf("%s not loaded: no %s", name.c_str(), missing);
    dlclose(handle);
    return nullptr;
  }
  // Kept open for the program's life, as the filters it made may be.
  return library.release();
}

}  // namespace

const FilterLibrary* Filters() {
  static const FilterLibrary* const library = Open();
  return library;
}

}  // namespace ovc::media
