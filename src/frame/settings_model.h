// What the settings program edits: one field per row of the settings table (numbered families
// expanded), with its tab, label and editor. A field is read exactly as the viewer reads it
// (through SettingsStore and the readers of core/setting_values.h), so the editor shows what the
// viewer does with the stored value, whatever form it was written in. An editing session writes
// only the values the user changed: a value never touched stays as it is in the file.
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
  NumberFlag,  // number 1 / 0, shown as "true" / "false"
  Number,      // number within [minimum, maximum]
  Colour,      // "" (the built-in colour) or "#RRGGBB"
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
// Whether the field's editor takes this value (in the form DefaultText uses).
bool Accepts(const SettingField& field, std::string_view value);

struct FieldValue {
  // What the viewer acts on, in the editor's form: "DisableNumericSort=1" reads "false" (a
  // flag is on only for "true"), "OSDColour=#40" reads "#404040", "UseResize=2" reads "true".
  std::string value;
  bool stored = false;     // a value is in the file
  std::string storedText;  // the stored value as found
  // Set when the file holds the value in another form than the program writes: what the
  // viewer makes of it, in one sentence.
  std::string note;
};

// Reads the field as the viewer does; the default when nothing is stored.
FieldValue ReadField(const SettingField& field, SettingsBackend& backend);
// Writes the value when the field accepts it; false (and nothing written) otherwise.
bool WriteField(const SettingField& field, std::string_view value, SettingsBackend& backend);

// One editing session: every field as read at the start (or at the last apply) and the values
// the user set since. Apply writes only those, so a value the user never touched is not
// rewritten in the form the program would choose.
class SettingsEdit {
 public:
  explicit SettingsEdit(SettingsBackend& backend);

  // The field as last read from the file.
  const FieldValue& read(const SettingField& field) const;
  // The value the field holds now: the user's, else the one read.
  const std::string& value(const SettingField& field) const;
  // The user's value; false (and nothing kept) when the field does not accept it.
  bool set(const SettingField& field, std::string_view value);
  // Forgets the user's value: the field keeps the one read.
  void revert(const SettingField& field);
  // Whether the user set a value other than the one read.
  bool changed(const SettingField& field) const;
  // Every field but the counter back to its default (written at the next apply).
  void restoreDefaults();
  // Writes every changed value and reads the written fields again. Returns the fields that
  // could not be written; they stay changed.
  std::vector<const SettingField*> apply();

 private:
  size_t index(const SettingField& field) const;

  SettingsBackend& backend_;
  std::vector<FieldValue> read_;            // by position in SettingsFields()
  std::vector<std::optional<std::string>> set_;
};

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
