// Every persistent setting, one row each: its kind, read capacity and default (the one place
// defaults are written down), how the viewer reads it, and where the settings program offers
// it. A new setting is one row here; the viewer reads it by name through SettingsStore, and the
// settings program shows and edits it from the same row. Numbered families ("External%d",
// "ExternalTitle%d", "JoyButton%d") have one row each, found by the name without its number.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qp {

enum class SettingKind { Text, Number };

// How the viewer reads a stored value (through the readers of core/setting_values.h). It
// decides the settings program's editor and how the program shows what the viewer does.
enum class SettingRead : uint8_t {
  Flag,           // text: on exactly when "true" in any letter case
  Switch,         // number: on when not 0
  Number,         // number used as stored; the program offers [minimum, maximum]
  Counter,        // number used as stored; the program's Restore leaves it alone
  FitFactor,      // thousandths: 100 to 10000 are used, anything else gives the default
  Joystick,       // 2: the second joystick; anything else the first
  ButtonCommand,  // a command id from 4000 to 5000, anything else 0: the built-in command
  MemoryMB,       // MiB; 0 or less: none
  Colour,         // "" the built-in colour, "#RRGGBB", "#GG" grey or a decimal number
  File,           // a file path
  Folder,         // a folder path
  Program,        // an external slot: a program, or "COPY " / "MOVE " and a folder
  Text,           // free text
};

struct SettingInfo {
  std::string_view name;
  SettingKind kind;
  int32_t capacity;          // text: bytes including the terminating NUL
  std::string_view text;     // default of a text setting
  int32_t number;            // default of a number setting
  int32_t last = 0;          // numbered family: names run from 1 to `last`
  SettingRead read = SettingRead::Text;
  std::string_view tab;      // the settings program's tab; rows of one tab stand together
  std::string_view label;    // the text beside the editor; "%d" is the family number
  int32_t minimum = 0, maximum = 0;  // what the program offers for a number
};

std::span<const SettingInfo> SettingsTable();
// The entry for a name ("External7" finds "External%d"); null for an unknown name, including a
// family number outside its range ("External20", "JoyButton0") or written with a leading zero.
const SettingInfo* FindSetting(std::string_view name);

}  // namespace qp
