// Where the view paints: the picture's offset and the black margins in fullscreen, the
// information overlay's lines and positions, and the progress bar drawn into long animations.
// The widget only draws what these functions lay out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/exif_info.h"
#include "core/settings_access.h"

namespace qp {

struct PaintRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const PaintRect&) const = default;
};

// Offset of the display bitmap and the margins to fill black. In a window the offset is 0 and
// there are no strips; in fullscreen the picture is centred on a screen of sw x sh and the
// strips are filled only when `fillMargins` (no animation playing, or the background is dirty).
struct PaintLayout {
  int32_t ox = 0;
  int32_t oy = 0;
  // Where the display bitmap lies in the picture on screen: not at its corner while only the
  // part on screen has been decoded.
  int32_t bitmapX = 0;
  int32_t bitmapY = 0;
  std::vector<PaintRect> blackStrips;
};
PaintLayout LayOutPaint(int32_t dw, int32_t dh, bool fullScreen, int32_t sw, int32_t sh,
                        bool fillMargins);

struct OverlayLine {
  int32_t x = 0;
  int32_t y = 0;
  std::string text;
};

// Everything the overlay shows about the current picture.
struct OverlayInput {
  int32_t mode = 0;  // 0 off, 1 name, 2 name and details
  std::string path;
  bool severalFolders = false;  // the file list spans more than one folder
  int32_t listPosition = 0;     // 1-based
  int32_t listCount = 0;
  int32_t dw = 0, dh = 0, ox = 0, oy = 0;
  bool fullScreen = false;
  int32_t width = 0, height = 0;  // the picture
  int64_t fileSize = 0;
  int32_t sniffCode = 0;
  bool detailsValid = false;
  bool hasAlpha = false;
  bool webpHasAlpha = false;
  bool webpAnimated = false;
  bool animating = false;
  int32_t pngColourType = 0;
  int32_t videoFrameRate = 0;   // frames per second x 100
  int32_t videoAudioStream = -1;
  std::string colourProfile;  // the profile's name; empty leaves the line out
  const ExifInfo* exif = nullptr;
};

// The number of characters of a UTF-8 text (file names are centred by characters, not bytes).
size_t CharacterCount(std::string_view utf8);

// The overlay's lines in drawing order with their top-left corners; nothing in mode 0.
std::vector<OverlayLine> LayOutOverlay(const OverlayInput& in);

// The overlay colour as 0xRRGGBB: the "OSDColour" setting, pure green when empty.
uint32_t OverlayColour(SettingsAccess& settings);

// Overwrites the frame's last row with the playback's progress: dark up to
// min(w, w * (index + 1) / count), light after it; alpha bytes 0.
void DrawProgressBar(uint8_t* bgra, int32_t w, int32_t h, int32_t index, int32_t count);

}  // namespace qp
