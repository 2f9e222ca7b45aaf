#include "settings/settings_table.h"

#include "common/paths.h"
#include "settings/setting_text.h"
#include "settings/settings_store.h"

namespace ovc {

std::string SettingPath(const SettingRow& setting) {
  std::string group = setting.group;
  return group.empty() ? std::string(setting.name) : group + "\\" + setting.name;
}

const SettingRow* FindSetting(std::string_view group, std::string_view name) {
  for (const SettingRow& setting : kSettingsTable) {
    if (group == setting.group && name == setting.name) return &setting;
  }
  return nullptr;
}

int DefaultInt(const SettingRow& setting) {
  return setting.default_text ? ParseSettingInt(setting.default_text) : 0;
}

double DefaultReal(const SettingRow& setting) {
  return setting.default_text ? ParseSettingReal(setting.default_text) : 0.0;
}

std::string DefaultText(const SettingRow& setting) {
  if (!setting.default_text) return std::string();
  std::string text = setting.default_text;
  if (text.rfind("~/", 0) == 0) return HomeFolder() + text.substr(1);
  return text;
}

int ReadSettingInt(const SettingRow& setting) {
  return ReadSettingInt(SettingPath(setting), DefaultInt(setting));
}

double ReadSettingReal(const SettingRow& setting) {
  return ReadSettingReal(SettingPath(setting), DefaultReal(setting));
}

std::string ReadSettingText(const SettingRow& setting) {
  return ReadSettingText(SettingPath(setting), DefaultText(setting));
}

}  // namespace ovc
