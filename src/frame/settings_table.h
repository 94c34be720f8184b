// Every persistent setting with its kind, read capacity and default: the one place defaults
// are written down. Numbered families ("External%d", "ExternalTitle%d", "JoyButton%d") have
// one entry each, found by the name without its number.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qp {

enum class SettingKind { Text, Number };

struct SettingInfo {
  std::string_view name;
  SettingKind kind;
  int32_t capacity;          // text: bytes including the terminating NUL
  std::string_view text;     // default of a text setting
  int32_t number;            // default of a number setting
  int32_t last = 0;          // numbered family: names run from 1 to `last`
};

std::span<const SettingInfo> SettingsTable();
// The entry for a name ("External7" finds "External%d"); null for an unknown name, including a
// family number outside its range ("External20", "JoyButton0") or written with a leading zero.
const SettingInfo* FindSetting(std::string_view name);

}  // namespace qp
