#include "frame/settings_model.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "core/colour.h"
#include "core/paths.h"
#include "core/setting_values.h"
#include "frame/settings_store.h"

namespace qp {

namespace {

constexpr std::string_view kCopyPrefix = "COPY ";
constexpr std::string_view kMovePrefix = "MOVE ";
// Colours are 24-bit: 0x00RRGGBB.
constexpr int64_t kMaxColour = 0xFFFFFF;

EditorKind EditorFor(SettingRead read) {
  switch (read) {
    case SettingRead::Flag: return EditorKind::TextFlag;
    case SettingRead::Switch: return EditorKind::NumberFlag;
    case SettingRead::Number:
    case SettingRead::Counter:
    case SettingRead::FitFactor:
    case SettingRead::Joystick:
    case SettingRead::ButtonCommand:
    case SettingRead::MemoryMB: return EditorKind::Number;
    case SettingRead::Colour: return EditorKind::Colour;
    case SettingRead::File: return EditorKind::File;
    case SettingRead::Folder: return EditorKind::Folder;
    case SettingRead::Program: return EditorKind::Program;
    case SettingRead::Text: return EditorKind::Text;
  }
  return EditorKind::Text;
}

// "External%d" with n = 7 -> "External7"; a name without "%d" is returned as it is.
std::string Numbered(std::string_view pattern, int n) {
  const size_t at = pattern.find("%d");
  if (at == std::string_view::npos) return std::string(pattern);
  return std::string(pattern.substr(0, at)) + std::to_string(n) +
         std::string(pattern.substr(at + 2));
}

SettingField MakeField(const SettingInfo& s, int n) {
  SettingField f;
  f.name = Numbered(s.name, n);
  f.tab = s.tab;
  f.label = Numbered(s.label, n);
  f.editor = EditorFor(s.read);
  f.info = &s;
  f.minimum = s.minimum;
  f.maximum = s.maximum;
  f.zeroAllowed = s.read == SettingRead::ButtonCommand;  // 0: the button's built-in command
  f.keepOnRestore = s.read == SettingRead::Counter;
  return f;
}

// The table's rows tab by tab; the families of a tab follow its single rows, interleaved by
// number.
std::vector<SettingField> BuildFields() {
  std::vector<SettingField> out;
  for (const std::string& tab : SettingsTabs()) {
    int32_t last = 0;
    for (const SettingInfo& s : SettingsTable()) {
      if (s.tab != tab) continue;
      if (s.last == 0) out.push_back(MakeField(s, 0));
      last = std::max(last, s.last);
    }
    for (int n = 1; n <= last; ++n)
      for (const SettingInfo& s : SettingsTable())
        if (s.tab == tab && n <= s.last) out.push_back(MakeField(s, n));
  }
  return out;
}

std::optional<int64_t> ParseDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  int64_t v = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return v;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool FitsCapacity(const SettingField& f, std::string_view value) {
  return static_cast<int64_t>(value.size()) + 1 <= f.info->capacity;
}

bool NumberInRange(const SettingField& f, int64_t v) {
  if (f.editor == EditorKind::NumberFlag) return v == 0 || v == 1;
  if (f.zeroAllowed && v == 0) return true;
  return v >= f.minimum && v <= f.maximum;
}

}  // namespace

const std::vector<std::string>& SettingsTabs() {
  static const std::vector<std::string> tabs = [] {
    std::vector<std::string> out;
    for (const SettingInfo& s : SettingsTable())
      if (std::find(out.begin(), out.end(), s.tab) == out.end()) out.emplace_back(s.tab);
    return out;
  }();
  return tabs;
}

const std::vector<SettingField>& SettingsFields() {
  static const std::vector<SettingField> fields = BuildFields();
  return fields;
}

const SettingField* FindField(std::string_view name) {
  for (const SettingField& f : SettingsFields())
    if (f.name == name) return &f;
  return nullptr;
}

std::string DefaultText(const SettingField& f) {
  if (f.info->kind == SettingKind::Text) return std::string(f.info->text);
  if (f.editor == EditorKind::NumberFlag) return f.info->number != 0 ? "true" : "false";
  return std::to_string(f.info->number);
}

bool Accepts(const SettingField& f, std::string_view value) {
  switch (f.editor) {
    case EditorKind::TextFlag:
    case EditorKind::NumberFlag:
      return value == "true" || value == "false";
    case EditorKind::Number: {
      const auto v = ParseDecimal(value);
      return v && NumberInRange(f, *v);
    }
    case EditorKind::Colour: {
      if (value.empty()) return true;
      if (value[0] == '#') {
        if (value.size() != 7) return false;
        for (char c : value.substr(1))
          if (!IsHexDigit(c)) return false;
        return true;
      }
      const auto v = ParseDecimal(value);
      return v && *v >= 0 && *v <= kMaxColour;
    }
    case EditorKind::Program:
      // A copy or move prefix needs a folder after it.
      if (value == kCopyPrefix || value == kMovePrefix) return false;
      return FitsCapacity(f, value) && value.find('\0') == std::string_view::npos;
    case EditorKind::File:
    case EditorKind::Folder:
    case EditorKind::Text:
      return FitsCapacity(f, value) && value.find('\0') == std::string_view::npos;
  }
  return false;
}

namespace {

std::string OnOff(bool on) { return on ? "true" : "false"; }

// The value in the editor's form, read the way the viewer reads it.
std::string ViewerValue(const SettingField& f, SettingsStore& store) {
  const std::string& name = f.name;
  switch (f.info->read) {
    case SettingRead::Flag: return OnOff(store.ReadFlag(name));
    case SettingRead::Switch: return OnOff(SwitchIsOn(store.ReadNumber(name)));
    case SettingRead::Number:
    case SettingRead::Counter: return std::to_string(store.ReadNumber(name));
    case SettingRead::FitFactor: {
      const int32_t n = store.ReadNumber(name);
      // A refused quotient gives the fallback: the default factor.
      return std::to_string(FitQuotient(n, -1.0) < 0 ? f.info->number : n);
    }
    case SettingRead::Joystick: return std::to_string(JoystickIndex(store.ReadNumber(name)) + 1);
    case SettingRead::ButtonCommand: return std::to_string(ButtonCommand(store.ReadNumber(name)));
    case SettingRead::MemoryMB:
      return std::to_string(PrefetchBudgetBytes(store.ReadNumber(name)) / (1024 * 1024));
    case SettingRead::Colour: {
      const std::string text = store.ReadText(name);
      return text.empty() ? text : FormatColour(ColourSetting(text, 0));
    }
    case SettingRead::File:
    case SettingRead::Folder:
    case SettingRead::Program:
    case SettingRead::Text: return store.ReadText(name);
  }
  return DefaultText(f);
}

// The text WriteField stores for an editor value.
std::string FileText(const SettingField& f, const std::string& value) {
  if (f.editor == EditorKind::NumberFlag) return value == "true" ? "1" : "0";
  return value;
}

// What the viewer does with an editor value, in words.
std::string Describe(const SettingField& f, const std::string& value) {
  switch (f.info->read) {
    case SettingRead::Flag:
    case SettingRead::Switch: return value == "true" ? "on" : "off";
    case SettingRead::ButtonCommand:
      return value == "0" ? "the button's built-in command" : "command " + value;
    case SettingRead::Joystick: return "joystick " + value;
    case SettingRead::MemoryMB: return value == "0" ? "none" : value + " MiB";
    case SettingRead::Colour: return value.empty() ? "the built-in colour" : value;
    case SettingRead::Program:
      if (value == kCopyPrefix || value == kMovePrefix) return "a slot that does nothing";
      [[fallthrough]];
    case SettingRead::File:
    case SettingRead::Folder:
    case SettingRead::Text: return value.empty() ? "empty" : "\"" + value + "\"";
    case SettingRead::Number:
    case SettingRead::Counter:
    case SettingRead::FitFactor: return value;
  }
  return value;
}

std::string Note(const SettingField& f, const FieldValue& v, SettingsBackend& backend) {
  const std::string stored = "The file holds \"" + v.storedText + "\"";
  if (f.info->kind == SettingKind::Number) {
    if (!backend.getNumber(f.name))
      return stored + ", which is not a number: the viewer uses the default, " +
             Describe(f, v.value) + ".";
    const auto n = ParseDecimal(v.value);
    if (f.editor == EditorKind::Number && n && !NumberInRange(f, *n))
      return stored + ": the viewer uses " + v.value + " as it is, outside the " +
             std::to_string(f.minimum) + " to " + std::to_string(f.maximum) +
             " this program offers.";
  } else if (!FitsCapacity(f, v.storedText)) {
    return stored + ", longer than the viewer reads (" + std::to_string(f.info->capacity - 1) +
           " bytes): it uses the default, " + Describe(f, v.value) + ".";
  }
  return stored + ": the viewer reads it as " + Describe(f, v.value) + ".";
}

}  // namespace

FieldValue ReadField(const SettingField& f, SettingsBackend& backend) {
  FieldValue out;
  SettingsStore store(backend);
  out.value = ViewerValue(f, store);
  const auto raw = backend.getText(f.name);
  if (!raw) return out;
  out.stored = true;
  out.storedText = *raw;
  // A number the editor cannot offer is explained too, although the viewer reads it as written.
  const auto number = ParseDecimal(out.value);
  const bool outside = f.editor == EditorKind::Number && number && !NumberInRange(f, *number);
  if (outside || out.storedText != FileText(f, out.value)) out.note = Note(f, out, backend);
  return out;
}

bool WriteField(const SettingField& f, std::string_view value, SettingsBackend& backend) {
  if (!Accepts(f, value)) return false;
  SettingsStore store(backend);
  if (f.info->kind == SettingKind::Text) return store.writeText(f.name, value);
  if (f.editor == EditorKind::NumberFlag) return store.writeNumber(f.name, value == "true");
  return store.writeNumber(f.name, static_cast<int32_t>(*ParseDecimal(value)));
}

SettingsEdit::SettingsEdit(SettingsBackend& backend)
    : backend_(backend), set_(SettingsFields().size()) {
  read_.reserve(SettingsFields().size());
  for (const SettingField& f : SettingsFields()) read_.push_back(ReadField(f, backend_));
}

size_t SettingsEdit::index(const SettingField& f) const {
  return static_cast<size_t>(&f - SettingsFields().data());
}

const FieldValue& SettingsEdit::read(const SettingField& f) const { return read_[index(f)]; }

const std::string& SettingsEdit::value(const SettingField& f) const {
  const size_t i = index(f);
  return set_[i] ? *set_[i] : read_[i].value;
}

bool SettingsEdit::set(const SettingField& f, std::string_view value) {
  if (!Accepts(f, value)) return false;
  set_[index(f)] = std::string(value);
  return true;
}

void SettingsEdit::revert(const SettingField& f) { set_[index(f)].reset(); }

bool SettingsEdit::changed(const SettingField& f) const {
  const size_t i = index(f);
  return set_[i] && *set_[i] != read_[i].value;
}

void SettingsEdit::restoreDefaults() {
  for (const SettingField& f : SettingsFields())
    if (!f.keepOnRestore) set_[index(f)] = DefaultText(f);
}

std::vector<const SettingField*> SettingsEdit::apply() {
  std::vector<const SettingField*> failed;
  for (const SettingField& f : SettingsFields()) {
    if (!changed(f)) continue;
    const size_t i = index(f);
    if (!WriteField(f, *set_[i], backend_)) {
      failed.push_back(&f);
      continue;
    }
    read_[i] = ReadField(f, backend_);
    set_[i].reset();
  }
  return failed;
}

SlotValue SplitSlot(std::string_view value) {
  if (value.starts_with(kCopyPrefix))
    return {SlotAction::Copy, std::string(value.substr(kCopyPrefix.size()))};
  if (value.starts_with(kMovePrefix))
    return {SlotAction::Move, std::string(value.substr(kMovePrefix.size()))};
  return {SlotAction::Program, std::string(value)};
}

std::string JoinSlot(const SlotValue& slot) {
  switch (slot.action) {
    case SlotAction::Program:
      return slot.target;
    case SlotAction::Copy:
      return slot.target.empty() ? std::string() : std::string(kCopyPrefix) + slot.target;
    case SlotAction::Move:
      return slot.target.empty() ? std::string() : std::string(kMovePrefix) + slot.target;
  }
  return slot.target;
}

}  // namespace qp
