#include "frame/settings_table.h"

#include <array>

namespace qp {

namespace {

constexpr int32_t kMaxNumber = 2147483647;

// A text flag, "true" or "false".
constexpr SettingInfo Flag(std::string_view name, std::string_view def, std::string_view tab,
                           std::string_view label) {
  return {name, SettingKind::Text, 32, def, 0, 0, SettingRead::Flag, tab, label};
}
// A number read as on (not 0) or off.
constexpr SettingInfo Switch(std::string_view name, int32_t def, std::string_view tab,
                             std::string_view label) {
  return {name, SettingKind::Number, 4, {}, def, 0, SettingRead::Switch, tab, label, 0, 1};
}
constexpr SettingInfo Number(std::string_view name, int32_t def, std::string_view tab,
                             std::string_view label, int32_t minimum, int32_t maximum,
                             SettingRead read = SettingRead::Number) {
  return {name, SettingKind::Number, 4, {}, def, 0, read, tab, label, minimum, maximum};
}
constexpr SettingInfo Text(std::string_view name, int32_t capacity, SettingRead read,
                           std::string_view tab, std::string_view label) {
  return {name, SettingKind::Text, capacity, "", 0, 0, read, tab, label};
}
constexpr SettingInfo Colour(std::string_view name, std::string_view tab, std::string_view label) {
  return Text(name, 32, SettingRead::Colour, tab, label);
}
// A numbered family, "Name%d" for 1 to `last`.
constexpr SettingInfo Family(SettingInfo info, int32_t last) {
  info.last = last;
  return info;
}

// In the settings program's order: tab by tab, each tab's rows as shown. The rows of the
// families of one tab are shown interleaved by number (program 1, title 1, program 2 ...).
constexpr std::array kTable = {
    Flag("ToolbarVisible", "false", "View", "Show the tool bar"),
    Flag("StatusVisible", "true", "View", "Show the status bar"),
    Flag("DisableProgress", "false", "View", "Hide the progress bar of animations"),
    Number("FitWidthFactor", 970, "View", "Fit to width: share of the width (1/1000)", 100, 10000,
           SettingRead::FitFactor),
    Number("FitHeightFactor", 900, "View", "Fit to height: share of the height (1/1000)", 100,
           10000, SettingRead::FitFactor),
    Colour("OSDColour", "View", "Information overlay colour"),
    // Memory for pictures decoded ahead of the current one, in MiB; 0 decodes nothing ahead.
    Number("PrefetchMemoryMB", 512, "View", "Memory for pictures decoded ahead, in MiB (0: none)",
           0, kMaxNumber, SettingRead::MemoryMB),
    // Pictures are shown and written in their colour space; "false" shows the stored numbers.
    Flag("ColourManagement", "true", "View",
         "Show and save pictures in their colour space (colour profiles)"),
    // Pictures are turned upright by the orientation their file records, at load.
    Flag("AutoOrient", "true", "View", "Turn photos upright by their recorded orientation"),

    Flag("DisableNumericSort", "true", "Files", "Sort names as plain text (not by their numbers)"),
    Flag("UseRecycleBin", "false", "Files", "Delete files to the trash"),
    Text("LastBookmark", 520, SettingRead::File, "Files", "Bookmarked file"),
    // Empty means the plugins folder beside the program.
    Text("PluginsPath", 520, SettingRead::Folder, "Files",
         "Plug-in folder (empty: \"plugins\" beside the program)"),
    Number("SaveFilterIndex", 1, "Files", "File type last chosen for saving", 1, 99),
    // The caller supplies the counter's current value as the default.
    Number("ClipboardCounter", 0, "Files", "Number of the next pasted picture", 0, kMaxNumber,
           SettingRead::Counter),

    Switch("KeepAspectRatio", 1, "Editing", "Resample: keep the aspect ratio"),
    Switch("SharpenAfterResample", 1, "Editing", "Resample: sharpen afterwards"),
    Switch("UseResize", 0, "Editing", "Resample: plain resize (nearest pixel)"),
    Colour("EllipseColour", "Editing", "Ellipse colour"),
    Colour("RectangleColour", "Editing", "Rectangle colour"),
    Colour("BoxColour", "Editing", "Box colour"),
    Colour("LineColour", "Editing", "Line colour"),

    Number("JpegQuality", 75, "Formats", "JPEG quality", 1, 100),
    Number("WebpQuality", 80, "Formats", "WebP quality (100 saves losslessly)", 0, 100),

    Family(Text("External%d", 512, SettingRead::Program, "External programs", "Program %d"), 19),
    Family(Text("ExternalTitle%d", 512, SettingRead::Text, "External programs", "Menu title %d"),
           19),

    Flag("UseJoystick", "true", "Input", "Navigate with a game controller"),
    Flag("UseGestures", "true", "Input", "Mouse gestures"),
    Number("JoyID", 1, "Input", "Joystick number", 1, 2, SettingRead::Joystick),
    Family(Number("JoyButton%d", 0, "Input", "Controller button %d command", 4000, 5000,
                  SettingRead::ButtonCommand),
           16),

    Text("TesseractPath", 520, SettingRead::File, "Tools",
         "OCR program (empty: /usr/bin/tesseract)"),
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
