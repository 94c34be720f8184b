// The save table: the target's extension alone picks the encoder. The silent converter lives
// here; the interactive "Save as" of the view builds on the same table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "codecs/load_dispatch.h"
#include "core/settings_access.h"

namespace qp {

// The external library's format number and flags for an extension it writes.
struct LibraryFormat {
  int32_t format;
  int32_t flags;
};
std::optional<LibraryFormat> LibraryFormatFor(const std::string& path);

// Whether the plug-ins are asked before ".qoi" (the converter) or after it (the interactive
// save).
enum class PluginOrder { BeforeQoi, AfterQoi };

enum class SaveStatus { Saved, Failed, UnknownExtension, IconTooLarge };
struct SaveResult {
  SaveStatus status = SaveStatus::Failed;
  const char* message = nullptr;  // the text to show when Failed
};

// Encodes a picture under `path` by its extension (ignoring case). WebP uses `webpQuality`
// (100 = lossless), JPEG `jpegQuality`. A WebP failure deletes the partly written file. The
// external library's failure reads "Could not save image". A picture with a colour profile
// keeps its colours: formats that carry a profile get it embedded, the others get the pixels
// converted to sRGB (the picture itself is not changed).
SaveResult SaveByExtension(const ImageBuffer& picture, bool hasAlpha, const std::string& path,
                           int32_t webpQuality, int32_t jpegQuality, PluginOrder order,
                           SettingsAccess* settings, const ColourProfile* colour = nullptr);

// A copy of the picture in sRGB; nothing when it already is (no profile, or one that changes
// no colour) or memory is short.
std::optional<ImageBuffer> SrgbCopy(const ImageBuffer& picture, const ColourProfile* colour);

struct ConvertRequest {
  std::string source;
  std::string target;
  int32_t lossless = 0;
  int32_t quality = 0;
  int32_t overwrite = 0;
  int32_t x1 = -1, y1 = -1, x2 = -1, y2 = -1;
};

enum class ConvertOutcome {
  Written,
  TargetExists,     // not overwritten without `overwrite`
  SourceUnreadable, // no decoder read the source
  NotWritten,       // an extension nothing writes, or an icon above 255 x 255
  EncoderFailed,
};

// Reads `source`, optionally crops it and writes `target`, silently (no message, no dialog,
// no settings written).
ConvertOutcome ConvertFile(const ConvertRequest& request, LoadContext& ctx,
                           SettingsAccess& settings);

// Crops to the inclusive corners (x1, y1)-(x2, y2), clamping x2 and y2 to the picture; returns
// the picture unchanged when x1 or y1 lies outside it or memory is short.
ImageBuffer CropPicture(ImageBuffer picture, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

}  // namespace qp
