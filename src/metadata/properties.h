// The properties report: a plain-text description of the current picture, its file, the
// details the decoder recorded and the camera data, plus the web-map link of a GPS position.
//
// The report is built from a plain record so that it does not depend on the codecs: the caller
// gathers the view's picture, the viewer state and the file facts into PropertiesInput.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/exif_info.h"

namespace qp {

// Header fields of a BMP file ("BM", 14-byte file header, 40-byte information header).
struct BmpFacts {
  int32_t planes = 0;
  int32_t bitsPerPixel = 0;
  int32_t compression = 0;
  int32_t coloursUsed = 0;
};

// Reads the BMP headers of `path`; nothing when the file is not a BMP or is too short.
std::optional<BmpFacts> ReadBmpFacts(const std::string& path);

struct IconFacts {
  int32_t count = 0;
  int32_t planes = 0;
  int32_t bitDepth = 0;
};

struct PropertiesInput {
  uint32_t width = 0;
  uint32_t height = 0;
  // CountUniqueColours of the picture; only used when a picture is shown and nothing plays.
  int32_t uniqueColours = 0;

  // The file: set when the current path is a real file that could be opened.
  bool isFile = false;
  int32_t sniffCode = 0;
  int64_t fileSize = 0;
  std::string typeName;  // FileTypeName of the path and code

  // Viewer state.
  int32_t animating = 0;
  int32_t detailsValid = 0;
  int32_t hasAlpha = 0;
  int32_t frameCount = 0;
  int32_t webpHasAlpha = 0;
  int32_t webpAnimated = 0;
  int32_t webpLossless = 0;
  int32_t jpegColourSpace = 0;
  int32_t jpegProgressive = 0;
  std::string gifVersion;
  int32_t gifBitDepth = 0;
  int32_t gifAnimated = 0;  // a GIF playback is running
  int32_t pngColourType = 0;
  int32_t pngBitDepth = 0;
  // The colour profile's name ("sRGB" for none); empty leaves the line out.
  std::string colourProfile;
  int32_t videoActive = 0;  // a video playback is running
  int32_t videoAudioStream = 0;
  int32_t videoFrameRate = 0;  // frames per second x 100
  // Camera data of a JPEG file, freshly read.
  ExifInfo exif{};

  // Facts the codecs know about the running playback or the file.
  double webpTotalDurationMs = 0;
  double gifTotalDurationMs = 0;
  bool gifGlobalColourTable = false;
  std::optional<std::string> gifComment;
  double videoDurationMs = 0;
  std::optional<BmpFacts> bmp;
  std::optional<IconFacts> icon;
};

struct PropertiesReport {
  std::string text;  // lines end with "\r\n"
  // The map URL (without line end) when the report showed it.
  std::optional<std::string> mapLink;
};

PropertiesReport BuildPropertiesReport(const PropertiesInput& in);

// The web-map URL of the record's GPS position, ending with "\r\n"; nothing when either
// position reference is empty.
std::optional<std::string> MapLink(const ExifInfo& exif);

// The value-name tables of the report (a value not listed prints as its number).
std::string OrientationName(int32_t value);
std::string LightSourceName(int32_t value);
std::string MeteringModeName(int32_t value);

}  // namespace qp
