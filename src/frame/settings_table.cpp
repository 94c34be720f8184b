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

constexpr std::array kTable = {
    T("ToolbarVisible", 32, "false"),
    T("StatusVisible", 32, "true"),
    T("UseJoystick", 32, "true"),
    T("UseGestures", 32, "true"),
    T("DisableProgress", 32, "false"),
    T("DisableNumericSort", 32, "true"),
    T("UseRecycleBin", 32, "false"),
    T("LastBookmark", 520, ""),
    T("External%d", 512, ""),
    T("ExternalTitle%d", 512, ""),
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
    N("JoyButton%d", 0),
};

}  // namespace

std::span<const SettingInfo> SettingsTable() { return kTable; }

const SettingInfo* FindSetting(std::string_view name) {
  std::string_view stem = name;
  while (!stem.empty() && stem.back() >= '0' && stem.back() <= '9') stem.remove_suffix(1);
  const bool numbered = stem.size() != name.size();
  for (const SettingInfo& s : kTable) {
    if (!numbered && s.name == name) return &s;
    if (numbered && s.name.size() == stem.size() + 2 && s.name.substr(0, stem.size()) == stem &&
        s.name.substr(stem.size()) == "%d")
      return &s;
  }
  return nullptr;
}

}  // namespace qp
