// The file-dialog filters and the list of file patterns the viewer treats as pictures, built
// once per run from the built-in formats, the optional components present and the plug-ins.
//
// Filters are in the "|"-separated form: description|patterns|...|| (every item followed by
// "|", the whole ended by a second "|"). None of the three strings exceeds 1023 characters.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "codecs/plugins.h"
#include "core/settings_access.h"

namespace qp {

inline constexpr size_t kMaxFilterText = 1023;

// Which optional components were found.
struct ComponentPresence {
  bool freeImage = false;
  bool luraWave = false;
  bool avif = false;
  bool video = false;
};

struct FileFilterSet {
  std::string patterns;    // "*.webp;*.jpg;..."
  std::string openFilter;  // "Supported Image Files|<patterns>|...|All Files (*.*)|*.*||"
  std::string saveFilter;  // "Google Webp (*.webp)|*.webp|...||"
};

// The three strings for the given components and plug-ins (in registry order).
FileFilterSet BuildFileFilters(const ComponentPresence& components,
                               std::span<const PluginDescription> plugins);

// Looks for the optional components (loading their libraries).
ComponentPresence DetectComponents();
// Builds the process-wide set when it has not been built: detects the components, loads the
// plug-ins of PluginFolder(settings) and builds the strings.
void EnsureFileFilters(SettingsAccess* settings);

const std::string& patternList(SettingsAccess* settings = nullptr);
const std::string& openFilter(SettingsAccess* settings = nullptr);
const std::string& saveFilter(SettingsAccess* settings = nullptr);

// Whether the path's extension (lower-cased) is in the pattern list: "*.ext" ends the list or
// is followed by ";". False without an extension.
bool isSupportedFile(const std::string& path, SettingsAccess* settings = nullptr);
bool IsSupportedIn(const std::string& patterns, const std::string& path);
// The extension (with its dot) of the 1-based entry of the save filter; empty when n < 1 or
// the filter has fewer entries.
std::string defaultSaveExtension(int32_t n, SettingsAccess* settings = nullptr);
std::string DefaultSaveExtensionIn(const std::string& saveFilter, int32_t n);
// Whether "|*." + the extension (lower-cased, without the dot) ends the save filter or occurs
// in it followed by "|".
bool isSaveExtension(const std::string& extension, SettingsAccess* settings = nullptr);
bool IsSaveExtensionIn(const std::string& saveFilter, const std::string& extension);

// Tests: forget the built set and unload the plug-ins; the next build uses `components`
// instead of looking for them (or looks again when null).
void ResetFileFiltersForTesting(const ComponentPresence* components);

}  // namespace qp
