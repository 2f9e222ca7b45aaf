#include "settings/settings_store.h"

#include <memory>
#include <string>

#include "common/paths.h"
#include "platform/registry/registry_store.h"
#include "settings/setting_text.h"

namespace ovc {
namespace {

using registry::Hive;

// The text of the setting at root+relative_path, or false when the read
// fails.
bool QuerySettingText(const std::string& relative_path, std::string* text) {
  registry::Value value;
  std::shared_ptr<registry::Store> store = registry::DefaultStore();
  if (store->QueryValue(Hive::kCurrentUser, SettingsRoot() + relative_path, "", &value) !=
      registry::kSuccess) {
    return false;
  }
  uint32_t number = 0;
  if (registry::DwordOf(value, &number)) {
    *text = std::to_string(number);
    return true;
  }
  // Texts end at their first NUL, whatever the value's type.
  std::string bytes = value.data.substr(0, value.data.find('\0'));
  if (bytes.size() > kMaxSettingTextBytes) return false;
  *text = std::move(bytes);
  return true;
}

int StoreSettingText(const std::string& group, const std::string& name, const std::string& text) {
  std::shared_ptr<registry::Store> store = registry::DefaultStore();
  // Empty names in the key path are skipped, so an empty group puts the
  // setting directly below the root.
  return store->SetValue(Hive::kCurrentUser, SettingsRoot() + group + "\\" + name, "",
                         registry::TextValue(text));
}

}  // namespace

std::string SettingsRoot() {
  return std::string("Software\\") + kCompanyWord + "\\" + kProductName + "\\";
}

int ReadSettingInt(const std::string& relative_path, int default_value) {
  std::string text;
  return QuerySettingText(relative_path, &text) ? ParseSettingInt(text) : default_value;
}

double ReadSettingReal(const std::string& relative_path, double default_value) {
  std::string text;
  return QuerySettingText(relative_path, &text) ? ParseSettingReal(text) : default_value;
}

std::string ReadSettingText(const std::string& relative_path, const std::string& default_value) {
  std::string text;
  return QuerySettingText(relative_path, &text) ? text : default_value;
}

int WriteSettingInt(const std::string& group, const std::string& name, int value) {
  return StoreSettingText(group, name, FormatSettingInt(value));
}

int WriteSettingReal(const std::string& group, const std::string& name, double value) {
  return StoreSettingText(group, name, FormatSettingReal(value));
}

int WriteSettingText(const std::string& group, const std::string& name, const std::string& text) {
  return StoreSettingText(group, name, text);
}

int SetCodecPassMode(int n_pass, int pass, uint32_t fcc_handler) {
  const char* key = nullptr;
  const char* name = nullptr;
  uint32_t first = 0, second = 0;
  if (fcc_handler == kFourccXvid) {
    key = "Software\\GNU\\XviD";
    name = "mode";
    first = 1;
    second = 2;
  } else if (fcc_handler == kFourccDivx) {
    key = "Software\\DivXNetworks\\DivX4Windows";
    name = "VBR Mode";
    first = 2;
    second = 3;
  } else {
    return registry::kSuccess;
  }
  uint32_t mode = 0;
  if (n_pass != 1) {
    if (pass == 1)
      mode = first;
    else if (pass == 2)
      mode = second;
  }
  return registry::DefaultStore()->SetValue(Hive::kCurrentUser, key, name,
                                            registry::DwordValue(mode));
}

}  // namespace ovc
