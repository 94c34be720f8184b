// The Properties box, Google Maps and Copy Filename: the report of the picture on screen and
// its file, the map link of its GPS position, and the path on the clipboard.
#pragma once

#include <cstdint>
#include <string>

#include "frame/command_table.h"
#include "frame/file_context.h"
#include "metadata/properties.h"

namespace qp {

inline constexpr uint16_t kCmdProperties = 4118;
inline constexpr uint16_t kCmdCopyFilename = 4123;
inline constexpr uint16_t kCmdGoogleMaps = 4159;

// Collects what the report describes: the picture's size and colours, the file's type and
// size as sniffed now, the decoder's details in the state, the running playback and, for a
// JPEG, its freshly read camera data.
// With `colourManaged` the picture's colour profile is named too.
PropertiesInput GatherProperties(ViewerState& state, const std::string& path,
                                 const uint8_t* pixels, int32_t width, int32_t height,
                                 bool colourManaged = true);

// The dialog's model for the picture on screen.
PropertiesDialogModel BuildPropertiesDialog(ViewerState& state, const uint8_t* pixels,
                                            int32_t width, int32_t height,
                                            bool colourManaged = true);

// Properties: leaves fullscreen around the box.
void PropertiesCommand(FileContext& ctx, const uint8_t* pixels, int32_t width, int32_t height);
// Google Maps: opens the map link of the shown JPEG's GPS position in the browser.
void GoogleMapsCommand(FileContext& ctx);
// The map link without its line end, when the state's camera data has a position.
std::optional<std::string> CurrentMapLink(const ViewerState& state);
// Copy Filename: the current path on the clipboard as text.
void CopyFilenameCommand(FileContext& ctx);
// About: leaves fullscreen around the box.
void AboutCommand(FileContext& ctx);
// The README the About box opens: the installed copy, else the one beside the source; empty
// when neither exists.
std::string ReadmePath();

}  // namespace qp
