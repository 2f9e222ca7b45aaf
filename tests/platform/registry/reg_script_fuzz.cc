#include "platform/registry/reg_script_fuzz.h"

#include <cstdlib>
#include <string_view>

#include "platform/registry/reg_file_import.h"

namespace ovc::registry {

void FuzzRegScript(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RegScript script = ParseRegScript(bytes);
  if (script.status != kSuccess && (!script.changes.empty() || script.malformed_lines != 0))
    std::abort();
  if (script.status != kSuccess) return;
  // Every change and every skipped line comes from a line of its own.
  if (script.changes.size() + static_cast<size_t>(script.malformed_lines) > size + 1) std::abort();

  Store store(":memory:");
  int rejected = 0;
  if (store.Apply(script.changes, &rejected) != kSuccess) std::abort();
  if (rejected < 0 || static_cast<size_t>(rejected) > script.changes.size()) std::abort();
  // The last value set to a valid key after the last deletion reads back.
  for (auto it = script.changes.rbegin(); it != script.changes.rend(); ++it) {
    if (it->kind == Change::Kind::kDeleteKey || it->kind == Change::Kind::kDeleteValue) break;
    if (it->kind != Change::Kind::kSetValue) continue;
    Value read;
    int status = store.QueryValue(it->hive, it->key, it->name, &read);
    if (status == kInvalidParameter) continue;
    if (status != kSuccess || read.type != it->value.type || read.data != it->value.data)
      std::abort();
    break;
  }
}

}  // namespace ovc::registry
