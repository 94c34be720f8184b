// The arithmetic of the view's geometry: fit zooms from the picture and the available area,
// scaled sizes, the 24-bit display bitmap, scroll clamping and the status-pane texts. Pure
// functions, so the numbers can be checked without a window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "colour/colour_profile.h"
#include "core/image_buffer.h"
#include "core/setting_values.h"
#include "core/settings_access.h"

namespace qp {

// 2^(1/6) as a float: six "Zoom In" steps double the size.
inline constexpr float kZoomStep = 1.122462f;
inline constexpr float kFitScreen = -1.0f;
inline constexpr float kFitWidth = -2.0f;
inline constexpr float kFitHeight = -3.0f;

// Shares of the available area a windowed fit may use.
struct FitFactors {
  double width = 0.97;
  double height = 0.9;
};
FitFactors ReadFitFactors(SettingsAccess& settings);

// The positive zoom a fit code (-1, -2, -3) gives a w x h picture in an available area of
// aw x ah; a positive zoom comes back unchanged.
float FitZoom(float zoom, int32_t w, int32_t h, bool fullScreen, int32_t aw, int32_t ah,
              FitFactors factors);

// The widest range any zoom step may reach: one pixel grown to the longest side allowed, or the
// longest side shrunk to one pixel.
inline constexpr double kMaxZoom = 1 << 20;
inline constexpr double kMinZoom = 1.0 / (1 << 20);

// Zooms within a thousandth of 1 show the picture unscaled.
inline bool NeedsScaling(float z) { return z < 0.999f || z > 1.001f; }
struct Size {
  int32_t width = 0;
  int32_t height = 0;
};
// The scaled size: each side times z in double precision, rounded half up by truncation.
Size ScaledSize(int32_t w, int32_t h, float z);
// The zoom nearest to `z` at which a w x h picture scales to at least one pixel on its shorter
// side and its display copy stays within the pixel limit (kMaxPixels, kMaxSide).
float ClampZoom(float z, int32_t w, int32_t h);

// The on-screen copy: 24-bit rows (blue, green, red), top row first, width rounded up to a
// multiple of 4 with the last pixel of each row repeated into the extra columns. The padding
// only shapes the rows: what is shown, laid out and centred is `scaledWidth` columns wide.
struct DisplayBitmap {
  int32_t width = 0;        // row length in pixels, a multiple of 4
  int32_t height = 0;
  int32_t scaledWidth = 0;  // the picture's width on screen, width - 3 to width
  std::vector<uint8_t> bits;
  size_t stride() const { return static_cast<size_t>(width) * 3; }
};
std::optional<DisplayBitmap> MakeDisplayBitmap(const uint8_t* bgra, int32_t w, int32_t h);
// Converts the bitmap from the picture's colour space to the screen's (null: sRGB); nothing
// to do when both are the same.
void ToScreenColours(DisplayBitmap& bitmap, const ColourProfile* picture, const ColourProfile* screen);

// Scroll positions stay at or above 0; the far end is clamped by the scroll area.
inline int32_t ClampScroll(int64_t v) { return v < 0 ? 0 : v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v); }

// Status-pane texts.
std::string SizePaneText(int64_t bytes);       // "%u B", "%.2f K", "%.2f M"
std::string ZoomPaneText(float zoom);          // "Z:%u%%"
std::string DimensionsText(int32_t w, int32_t h);  // "%u x %u"
std::string PositionText(int32_t position, int32_t count);  // "%d/%d"
// The frame's title: the document's name (a file's name without its folder, or a paste's
// pseudo-name) before the program's, or the program's alone without a document.
inline constexpr const char* kProgramTitle = "Quill Pix";
std::string WindowTitle(const std::string& documentPath);

}  // namespace qp
