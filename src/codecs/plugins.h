// Image plug-ins found at run time: shared libraries in the plug-in folder, each serving one
// file extension (reading, writing or both). The interface plug-ins implement is documented
// in components/plugins/quillpix_plugin.h.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "codecs/decode_result.h"
#include "core/settings_access.h"

namespace qp {

inline constexpr int32_t kPluginReads = 1;
inline constexpr int32_t kPluginWrites = 2;

// What a registered plug-in said about itself.
struct PluginDescription {
  std::string description;
  std::string extension;  // lower case, without the dot
  int32_t flags = 0;
};

// Asks the plug-in registered first for the path's extension to read the file. Builds the
// filter set first (which loads the plug-ins) when that has not happened yet. hasAlpha is
// learned when the picture's alpha carries information, the colour space from a plug-in that
// reports it (wvLoadImageWithColour); others give sRGB pictures.
DecodeResult loadWithPlugin(const std::string& path, SettingsAccess* settings);
// Whether the first plug-in registered for this path's (or this) extension writes files.
bool pluginWrites(const std::string& pathOrExtension, SettingsAccess* settings);
// Whether the plug-in that saves this extension stores a colour profile in its files
// (wvSaveImageWithProfile).
bool pluginEmbedsProfile(const std::string& pathOrExtension, SettingsAccess* settings);
// Saves through the first plug-in for the extension that writes. `icc`, when given, is the
// profile the pixels are meant in; only a plug-in that embeds profiles takes it, for any other
// the save fails (callers convert to sRGB instead). Null on success, else "Could not save" or
// "Format not supported".
const char* saveWithPlugin(const uint8_t* pixels, int32_t width, int32_t height,
                           const std::string& path, SettingsAccess* settings,
                           std::span<const uint8_t> icc = {});

// Loads every *.so of `folder` in name order into the registry and returns the descriptions
// of those registered (flags above 0). Used once per run by the filter set.
std::vector<PluginDescription> LoadPluginFolder(const std::string& folder);
// The plug-in folder: "PluginsPath" when set, else "plugins" beside the executable.
std::string PluginFolder(SettingsAccess* settings);
// Number of registered plug-ins.
size_t PluginCount();
// Unloads every plug-in (tests; the program keeps them until it ends).
void ClearPluginRegistry();

}  // namespace qp
