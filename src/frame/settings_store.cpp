#include "frame/settings_store.h"

#include "core/setting_values.h"
#include "frame/settings_table.h"

namespace qp {

std::string SettingsStore::readText(std::string_view name, int32_t capacity,
                                    std::string_view def) {
  auto value = backend_.getText(name);
  if (!value || static_cast<int64_t>(value->size()) + 1 > capacity) return std::string(def);
  return *value;
}

int32_t SettingsStore::readNumber(std::string_view name, int32_t def) {
  return backend_.getNumber(name).value_or(def);
}

bool SettingsStore::writeText(std::string_view name, std::string_view text) {
  if (name.empty()) return false;
  return backend_.setText(name, text);
}

bool SettingsStore::writeNumber(std::string_view name, int32_t value) {
  if (name.empty()) return false;
  return backend_.setNumber(name, value);
}

bool SettingsStore::deleteKeyTree(std::string_view group) {
  if (group.empty()) return false;
  return backend_.removeGroup(group);
}

std::string SettingsStore::ReadText(std::string_view name) {
  const SettingInfo* info = FindSetting(name);
  if (info == nullptr) return readText(name, 520, "");
  return readText(name, info->capacity, info->text);
}

int32_t SettingsStore::ReadNumber(std::string_view name) {
  const SettingInfo* info = FindSetting(name);
  return readNumber(name, info ? info->number : 0);
}

bool SettingsStore::ReadFlag(std::string_view name) {
  return FlagIsOn(ReadText(name));
}

}  // namespace qp
