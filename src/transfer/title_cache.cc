#include "transfer/title_cache.h"

#include "common/trace.h"
#include "transfer/mp4_title.h"

namespace ovc {

const std::string& TitleCache::TitleFor(const std::string& path, const TitleReader& reader) {
  auto found = titles_.find(path);
  if (found != titles_.end()) return found->second;
  return titles_.emplace(path, reader ? reader(path) : std::string(" ")).first->second;
}

std::optional<std::string> TitleCache::Find(const std::string& path) const {
  auto found = titles_.find(path);
  if (found == titles_.end()) return std::nullopt;
  return found->second;
}

void TitleCache::RemoveCache(const std::string& path) { titles_.erase(path); }

void TitleCache::Clear() { titles_.clear(); }

TitleEditorState TitleEditorForSelection(int index, const std::string& full_path,
                                         const TitleCache& cache) {
  TitleEditorState state;
  if (index < 0) return state;
  TracePrintf("idx=%d", index);
  if (!HasMp4Extension(full_path)) return state;
  state.enabled = true;
  state.path = full_path;
  size_t slash = full_path.rfind('/');
  state.file_name = slash == std::string::npos ? full_path : full_path.substr(slash + 1);
  state.title = cache.Find(full_path).value_or(std::string());
  return state;
}

}  // namespace ovc
