#include "frame/settings_model.h"

#include <charconv>
#include <limits>

#include "core/paths.h"
#include "frame/settings_store.h"

namespace qp {

namespace {

constexpr std::string_view kCopyPrefix = "COPY ";
constexpr std::string_view kMovePrefix = "MOVE ";
// Colours are 24-bit: 0x00RRGGBB.
constexpr int64_t kMaxColour = 0xFFFFFF;

struct FieldRow {
  std::string_view name;
  std::string_view tab;
  std::string_view label;
  EditorKind editor;
  int32_t minimum = 0, maximum = 0;
};

// Fixed fields in display order; the numbered families are added after them.
constexpr FieldRow kFixedFields[] = {
    {"ToolbarVisible", "View", "Show the tool bar", EditorKind::TextFlag},
    {"StatusVisible", "View", "Show the status bar", EditorKind::TextFlag},
    {"DisableProgress", "View", "Hide the loading progress", EditorKind::TextFlag},
    {"FitWidthFactor", "View", "Fit to width: share of the width (1/1000)", EditorKind::Number, 100,
     10000},
    {"FitHeightFactor", "View", "Fit to height: share of the height (1/1000)", EditorKind::Number,
     100, 10000},
    {"OSDColour", "View", "Information overlay colour", EditorKind::Colour},
    {"PrefetchMemoryMB", "View", "Memory for pictures decoded ahead, in MiB (0: none)",
     EditorKind::Number, 0, 65536},
    {"ColourManagement", "View", "Show and save pictures in their colour space (colour profiles)",
     EditorKind::TextFlag},
    {"AutoOrient", "View", "Turn photos upright by their recorded orientation",
     EditorKind::TextFlag},
    {"DisableNumericSort", "Files", "Sort names as plain text (not by their numbers)",
     EditorKind::TextFlag},
    {"UseRecycleBin", "Files", "Delete files to the trash", EditorKind::TextFlag},
    {"LastBookmark", "Files", "Bookmarked file", EditorKind::File},
    {"PluginsPath", "Files", "Plug-in folder (empty: \"plugins\" beside the program)",
     EditorKind::Folder},
    {"SaveFilterIndex", "Files", "File type last chosen for saving", EditorKind::Number, 1, 99},
    {"ClipboardCounter", "Files", "Number of the next pasted picture", EditorKind::Number, 0,
     std::numeric_limits<int32_t>::max()},
    {"KeepAspectRatio", "Editing", "Resample: keep the aspect ratio", EditorKind::NumberFlag},
    {"SharpenAfterResample", "Editing", "Resample: sharpen afterwards", EditorKind::NumberFlag},
    {"UseResize", "Editing", "Resample: plain resize (nearest pixel)", EditorKind::NumberFlag},
    {"EllipseColour", "Editing", "Ellipse colour", EditorKind::Colour},
    {"RectangleColour", "Editing", "Rectangle colour", EditorKind::Colour},
    {"BoxColour", "Editing", "Box colour", EditorKind::Colour},
    {"LineColour", "Editing", "Line colour", EditorKind::Colour},
    {"JpegQuality", "Formats", "JPEG quality", EditorKind::Number, 1, 100},
    {"WebpQuality", "Formats", "WebP quality (100 saves losslessly)", EditorKind::Number, 0, 100},
    {"UseJoystick", "Input", "Navigate with a game controller", EditorKind::TextFlag},
    {"UseGestures", "Input", "Mouse gestures", EditorKind::TextFlag},
    {"JoyID", "Input", "Joystick number", EditorKind::Number, 1, 2},
    {"TesseractPath", "Tools", "OCR program (empty: /usr/bin/tesseract)", EditorKind::File},
};

std::string Numbered(std::string_view stem, int n) {
  std::string s(stem.substr(0, stem.size() - 2));  // without "%d"
  return s + std::to_string(n);
}

std::vector<SettingField> BuildFields() {
  std::vector<SettingField> out;
  auto add = [&](SettingField f) {
    f.info = FindSetting(f.name);
    out.push_back(std::move(f));
  };
  auto fixed = [&](std::string_view tab) {
    for (const FieldRow& s : kFixedFields) {
      if (s.tab != tab) continue;
      SettingField f;
      f.name = s.name;
      f.tab = s.tab;
      f.label = s.label;
      f.editor = s.editor;
      f.minimum = s.minimum;
      f.maximum = s.maximum;
      f.keepOnRestore = s.name == "ClipboardCounter";
      add(std::move(f));
    }
  };
  for (const std::string& tab : SettingsTabs()) {
    fixed(tab);
    if (tab == "External programs") {
      for (int n = 1; n <= 19; ++n) {
        add({Numbered("External%d", n), tab, "Program " + std::to_string(n), EditorKind::Program});
        add({Numbered("ExternalTitle%d", n), tab, "Menu title " + std::to_string(n),
             EditorKind::Text});
      }
    } else if (tab == "Input") {
      for (int n = 1; n <= 16; ++n) {
        SettingField f{Numbered("JoyButton%d", n), tab,
                       "Controller button " + std::to_string(n) + " command", EditorKind::Number};
        f.minimum = 4000;
        f.maximum = 5000;
        f.zeroAllowed = true;  // 0: the button's built-in command
        add(std::move(f));
      }
    }
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
  static const std::vector<std::string> tabs = {
      "View", "Files", "Editing", "Formats", "External programs", "Input", "Tools"};
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

FieldValue ReadField(const SettingField& f, SettingsBackend& backend) {
  FieldValue out;
  out.value = DefaultText(f);
  const auto raw = backend.getText(f.name);
  if (!raw) return out;
  out.stored = true;
  out.storedText = *raw;
  std::string value = *raw;
  if (f.editor == EditorKind::TextFlag) {
    // The viewer takes "true" in any case as on; the editor shows it in its plain form.
    if (EqualsIgnoreCase(value, "true"))
      value = "true";
    else if (EqualsIgnoreCase(value, "false"))
      value = "false";
  } else if (f.editor == EditorKind::NumberFlag) {
    const auto v = ParseDecimal(value);
    if (v && (*v == 0 || *v == 1)) value = *v ? "true" : "false";
  }
  if (Accepts(f, value)) {
    out.value = value;
  } else {
    out.broken = true;
  }
  return out;
}

bool WriteField(const SettingField& f, std::string_view value, SettingsBackend& backend) {
  if (!Accepts(f, value)) return false;
  SettingsStore store(backend);
  if (f.info->kind == SettingKind::Text) return store.writeText(f.name, value);
  if (f.editor == EditorKind::NumberFlag) return store.writeNumber(f.name, value == "true");
  return store.writeNumber(f.name, static_cast<int32_t>(*ParseDecimal(value)));
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
