#include "frame/settings_table.h"

#include <array>

namespace qp {

namespace {

constexpr SettingInfo T(std::string_view name, int32_t capacity, std::string_view def) {
  return {name, SettingKind::Text, capacity, def, 0};
}
constexpr SettingInfo N(std::string_view name, int32_t def) {
  return {name, SettingKind::Number, 4, {}, def};
}
// A numbered family, "Name%d" for 1 to `last`.
constexpr SettingInfo Family(SettingInfo info, int32_t last) {
  info.last = last;
  return info;
}

constexpr std::array kTable = {
    T("ToolbarVisible", 32, "false"),
    T("StatusVisible", 32, "true"),
    T("UseJoystick", 32, "true"),
    T("UseGestures", 32, "true"),
    T("DisableProgress", 32, "false"),
    T("DisableNumericSort", 32, "true"),
    T("UseRecycleBin", 32, "false"),
    T("LastBookmark", 520, ""),
    Family(T("External%d", 512, ""), 19),
    Family(T("ExternalTitle%d", 512, ""), 19),
    T("OSDColour", 32, ""),
    T("EllipseColour", 32, ""),
    T("RectangleColour", 32, ""),
    T("BoxColour", 32, ""),
    T("LineColour", 32, ""),
    T("TesseractPath", 520, ""),
    // Empty means the plugins folder beside the program.
    T("PluginsPath", 520, ""),
    N("JpegQuality", 75),
    N("WebpQuality", 80),
    N("SaveFilterIndex", 1),
    // The caller supplies the counter's current value as the default.
    N("ClipboardCounter", 0),
    N("KeepAspectRatio", 1),
    N("SharpenAfterResample", 1),
    N("UseResize", 0),
    N("FitWidthFactor", 970),
    N("FitHeightFactor", 900),
    N("JoyID", 1),
    // Memory for pictures decoded ahead of the current one, in MiB; 0 decodes nothing ahead.
    N("PrefetchMemoryMB", 512),
    // Pictures are shown and written in their colour space; "false" shows the stored numbers.
    T("ColourManagement", 32, "true"),
    // Pictures are turned upright by the orientation their file records, at load.
    T("AutoOrient", 32, "true"),
    Family(N("JoyButton%d", 0), 16),
};

}  // namespace

std::span<const SettingInfo> SettingsTable() { return kTable; }

const SettingInfo* FindSetting(std::string_view name) {
  std::string_view stem = name;
  while (!stem.empty() && stem.back() >= '0' && stem.back() <= '9') stem.remove_suffix(1);
  const std::string_view digits = name.substr(stem.size());
  if (digits.empty()) {
    for (const SettingInfo& s : kTable)
      if (s.last == 0 && s.name == name) return &s;
    return nullptr;
  }
  if (digits.size() > 2 || digits[0] == '0') return nullptr;
  int32_t number = 0;
  for (char c : digits) number = number * 10 + (c - '0');
  for (const SettingInfo& s : kTable) {
    if (s.last != 0 && s.name.size() == stem.size() + 2 && s.name.substr(0, stem.size()) == stem &&
        number <= s.last)
      return &s;
  }
  return nullptr;
}

}  // namespace qp
