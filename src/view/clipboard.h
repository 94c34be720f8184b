// Pictures to and from the system clipboard, and the numbered pseudo-documents a paste shows
// under ("Clipboard12", "ClipboardWithTransparency13").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/image_buffer.h"
#include "core/settings_access.h"
#include "codecs/sniff.h"
#include "core/viewer_state.h"
#include "ops/pixel_rect.h"
#include "platform/ports.h"

namespace qp {

// Clipboard kinds of a document path (ClipboardKind of core/sniff.h).
inline constexpr int32_t kRealFile = 0;
inline constexpr int32_t kClipboardOpaque = 1;
inline constexpr int32_t kClipboardWithAlpha = 2;

// "Clipboard%u" or "ClipboardWithTransparency%u".
std::string ClipboardName(bool withTransparency, uint32_t number);

// The display copy of the picture: 24-bit rows (blue, green, red), top row first.
struct DisplayPixels {
  const uint8_t* data = nullptr;
  int32_t width = 0;  // padded to a multiple of 4
  int32_t height = 0;
  size_t stride = 0;
};

// What "Copy" places: the selected region, or the whole picture, at full resolution and
// opaque (the clipboard picture carries no alpha). Nothing without a picture or memory.
std::optional<ImageBuffer> CopyPicture(const ImageBuffer& shown, std::optional<PixelRect> region);
// What "Copy Frame" places: the display copy as shown, at its padded width.
std::optional<ImageBuffer> FramePicture(const DisplayPixels& display);

// Paste, before the refresh: remembers the real file being left in lastFilePath, counts the
// paste in "ClipboardCounter" (the view's own count stands in while the setting is missing)
// and returns the pseudo-name the document takes.
std::string PreparePaste(bool withTransparency, const std::string& documentPath,
                         ViewerState& state, SettingsAccess& settings, uint32_t& viewCounter);



}  // namespace qp
