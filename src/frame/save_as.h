// Saving the picture on screen under a name the user chooses: the Save dialog with the save
// filters and the remembered filter choice, the extension rules, the overwrite question, and
// the encoder picked by the extension.
#pragma once

#include <cstdint>
#include <string>

#include "core/image_buffer.h"
#include "frame/file_context.h"

namespace qp {

inline constexpr uint16_t kCmdSaveSourceFolder = 4097;
inline constexpr uint16_t kCmdSaveAs = 57604;
inline constexpr const char* kIconTooLarge = "Can not save icons bigger than 255x255 pixels";
inline constexpr const char* kUnknownExtension = "Unknown image extension";

// The name the user typed, completed: a name without an extension, or with one the save
// filters do not list, gets the extension of the chosen filter (".webp" when it has none).
std::string CompleteSaveName(const std::string& chosen, int32_t filterIndex,
                             const std::string& saveFilterText);

enum class SaveAsOutcome { Cancelled, Declined, Saved, Failed, IconTooLarge, UnknownExtension };

// "Save as" (`sourceFolder` false) and "Save (source folder)" (true) of `picture`, the view's
// picture or the running animation's frame. Encodes under the state's lock. The written file
// replaces an existing one only once it is complete, so a failed save never costs the old
// file; the saved path goes first in the recent-file list.
SaveAsOutcome SaveAsCommand(FileContext& ctx, const ImageBuffer& picture, bool hasAlpha,
                            bool sourceFolder);

}  // namespace qp
