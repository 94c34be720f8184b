// The fixed record of camera metadata, GPS position and comment of the current JPEG file.
// Filled by the EXIF/TIFF parser (metadata/exif.h); zeroed by ViewerState::ClearMetadata.
//
// A plain aggregate: `ExifInfo{}` (and every default-constructed record) is all zeros. Texts are
// zero-terminated within their fixed sizes; "float" fields are 32-bit.
#pragma once

#include <cstdint>

namespace qp {

struct ExifInfo {
  char version[5]{};        // ExifVersion, 4 characters
  char cameraMake[32]{};    // Make
  char cameraModel[40]{};   // Model
  char dateTime[20]{};      // DateTimeOriginal, "YYYY:MM:DD HH:MM:SS"
  int32_t height{};         // from the JPEG frame header
  int32_t width{};
  int32_t orientation{};        // converted value, not range-checked
  int32_t orientationFormat{};  // TIFF format code of the Orientation entry (3 = SHORT)
  int32_t isColour{};           // the frame has 3 components
  int32_t process{};            // the SOFn marker code
  int32_t flashUsed{};
  float focalLength{};      // mm
  float exposureTime{};     // s
  float apertureFNumber{};
  float distance{};         // m; negative means infinite
  float ccdWidth{};         // mm, computed
  float exposureBias{};
  int32_t whiteBalance{};   // LightSource
  int32_t meteringMode{};
  int32_t exposureProgram{};
  int32_t isoEquivalent{};
  int32_t compressionLevel{};
  int32_t sceneCaptureType{};
  int32_t colourSpace{};
  int32_t sensingMethod{};
  float focalPlaneXRes{};
  float focalPlaneYRes{};
  float focalPlaneUnits{};  // size of one unit in inches
  float xResolution{};
  float yResolution{};
  float resolutionUnit{};   // size of one unit in inches
  float brightness{};
  char comments[1024]{};    // UserComment (at most 199 characters) or the first COM segment
  uint32_t thumbnailOffset{};
  uint32_t thumbnailSize{};
  uint8_t gpsVersion[4]{};
  char latitudeRef[3]{};    // "N" or "S"
  float latitudeDegrees{};
  float latitudeMinutes{};
  float latitudeSeconds{};
  char longitudeRef[4]{};   // "E" or "W"
  float longitudeDegrees{};
  float longitudeMinutes{};
  float longitudeSeconds{};
  int32_t altitudeRef{};    // 0 above sea level, 1 below
  int32_t altitude{};       // metres, truncated
  uint8_t isExif{};         // an EXIF APP1 segment was decoded successfully
};

}  // namespace qp
