// The one-shot modes of the command line: they work on files and end the program without a
// window. Each reports failure as one line of text so that a script can tell what went wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "codecs/load_dispatch.h"
#include "core/file_io.h"
#include "core/settings_access.h"

namespace qp {

struct AutoRotateResult {
  int angle = 0;                      // 0, 90, 180 or 270
  std::optional<std::string> error;   // why nothing could be done
};
// Rotates a JPEG losslessly so that its EXIF orientation (3, 6 or 8) is upright, and sets the
// orientation to 1 (in either byte order); the other markers are copied unchanged.
AutoRotateResult AutoRotateJpegFile(const std::string& path);

// Width and height from the first SOF0, SOF1 or SOF2 frame header of a JPEG file's bytes.
struct JpegFrameSize {
  int32_t width = 0;
  int32_t height = 0;
};
std::optional<JpegFrameSize> ReadJpegFrameSize(std::span<const uint8_t> bytes);

struct LandscapeResult {
  bool rotated = false;
  std::optional<std::string> error;
};
// Turns a portrait JPEG (height > width) into landscape by a lossless 90-degree rotation and
// sets its EXIF orientation to 1 (in either byte order). Landscape and square files are left
// alone. With `asShown` (the setting "AutoOrient") the size tested is the picture's as shown,
// upright by its EXIF orientation, and a portrait one is turned upright and a quarter turn
// clockwise in one lossless transform; otherwise the size is the stored frame's.
LandscapeResult MakeLandscapeFile(const std::string& path, bool asShown = false);
// 1 when the file was a portrait JPEG and was rotated, else 0.
int MakeLandscape(const std::string& path);

// Runs the conversion of the command line (the crop given by -w/-h is turned into corners).
// Nothing on success, else the line to report.
std::optional<std::string> RunConvert(const CommandLine& cl, LoadContext& ctx,
                                      SettingsAccess& settings);

// Loads `path` the way the viewer does and builds its properties report (lines end with
// "\r\n"). Nothing when the file cannot be opened or no decoder reads it.
std::optional<std::string> PropertiesText(const std::string& path, LoadContext& ctx);

// The about box's text: disclaimer, command-line options and third-party credits.
std::string AboutText();
// The command-line section of the about text followed by the switches it leaves out.
std::string HelpText();

}  // namespace qp
