#include "settings/settings_table.h"

#include "common/paths.h"
#include "settings/setting_text.h"
#include "settings/settings_store.h"

namespace ovc {

std::string SettingPath(const SettingSpec& spec) {
  std::string group = spec.group;
  return group.empty() ? std::string(spec.name) : group + "\\" + spec.name;
}

const SettingSpec* FindSetting(std::string_view group, std::string_view name) {
  for (const SettingSpec& spec : kSettingsTable) {
    if (group == spec.group && name == spec.name) return &spec;
  }
  return nullptr;
}

int DefaultInt(const SettingSpec& spec) {
  return spec.default_text ? ParseSettingInt(spec.default_text) : 0;
}

double DefaultReal(const SettingSpec& spec) {
  return spec.default_text ? ParseSettingReal(spec.default_text) : 0.0;
}

std::string DefaultText(const SettingSpec& spec) {
  if (!spec.default_text) return std::string();
  std::string text = spec.default_text;
  if (text.rfind("~/", 0) == 0) return HomeFolder() + text.substr(1);
  return text;
}

int ReadSettingInt(const SettingSpec& spec) {
  return ReadSettingInt(SettingPath(spec), DefaultInt(spec));
}

double ReadSettingReal(const SettingSpec& spec) {
  return ReadSettingReal(SettingPath(spec), DefaultReal(spec));
}

std::string ReadSettingText(const SettingSpec& spec) {
  return ReadSettingText(SettingPath(spec), DefaultText(spec));
}

}  // namespace ovc
