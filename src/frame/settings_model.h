// What the settings program edits: one field per setting of the settings table (numbered
// families expanded), each with its tab, label, editor and the values it accepts. Reading a
// field tells a valid stored value from a missing one and from one broken by hand; writing
// refuses anything the field does not accept, so the file only ever receives valid values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/settings_table.h"
#include "platform/settings_backend.h"

namespace qp {

enum class EditorKind {
  TextFlag,    // text "true" / "false"
  NumberFlag,  // number 1 / 0
  Number,      // number within [minimum, maximum]
  Colour,      // "" (the built-in colour), "#RRGGBB" or a decimal number
  File,        // a file path
  Folder,      // a folder path
  Program,     // an external slot: a program, or "COPY " / "MOVE " and a folder
  Text,        // free text within the capacity
};

struct SettingField {
  std::string name;   // "WebpQuality", "External7"
  std::string tab;    // one of SettingsTabs()
  std::string label;  // the text beside the editor
  EditorKind editor = EditorKind::Text;
  const SettingInfo* info = nullptr;
  int32_t minimum = 0, maximum = 0;  // Number
  // A Number that also takes 0 outside its range ("use the built-in choice").
  bool zeroAllowed = false;
  // The default depends on the program's state (the clipboard counter): Restore leaves it.
  bool keepOnRestore = false;
};

// The tabs in display order.
const std::vector<std::string>& SettingsTabs();
// Every field, grouped by tab in display order.
const std::vector<SettingField>& SettingsFields();
const SettingField* FindField(std::string_view name);

// The field's default as the editor shows it: flags "true"/"false" (number flags too), numbers
// in decimal, texts as they are.
std::string DefaultText(const SettingField& field);
// Whether the field accepts this value (in the form DefaultText uses).
bool Accepts(const SettingField& field, std::string_view value);

struct FieldValue {
  std::string value;       // what the editor shows
  bool stored = false;     // a value is in the file
  bool broken = false;     // the stored value is not valid; `value` is the default
  std::string storedText;  // the stored value as found (for the warning)
};

// Reads the field through the backend: a valid stored value, or the default when nothing is
// stored or what is stored is broken (unreadable number, out of range, too long for its
// capacity, a flag that is neither "true" nor "false", a colour in no known form).
FieldValue ReadField(const SettingField& field, SettingsBackend& backend);
// Writes the value when the field accepts it; false (and nothing written) otherwise.
bool WriteField(const SettingField& field, std::string_view value, SettingsBackend& backend);

// An external slot's value split into its action and target, and joined back. A copy or move
// action without a folder joins to "" (the slot is off) rather than a bare prefix.
enum class SlotAction { Program, Copy, Move };
struct SlotValue {
  SlotAction action = SlotAction::Program;
  std::string target;
};
SlotValue SplitSlot(std::string_view value);
std::string JoinSlot(const SlotValue& slot);

}  // namespace qp
