// Image plug-ins found at run time, and the file-dialog filter texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/settings_access.h"
#include "core/viewer_state.h"

namespace qp {

// Asks the plug-ins (loaded on first use from "PluginsPath" or the plugins folder beside the
// executable) to read the file.
std::optional<ImageBuffer> loadWithPlugin(const std::string& path, ViewerState& state,
                                          SettingsAccess* settings);
// Whether a plug-in writes files with this path's (or this) extension.
bool pluginWrites(const std::string& pathOrExtension, SettingsAccess* settings);
// Null on success, else "Could not save" or "Format not supported".
const char* saveWithPlugin(const uint8_t* pixels, int32_t width, int32_t height,
                           const std::string& path, SettingsAccess* settings);

}  // namespace qp
