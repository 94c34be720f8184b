// The fixed record of camera metadata, GPS position and comment of the current JPEG file.
// Filled by the EXIF/TIFF parser (metadata/exif.h); zeroed by ViewerState::ClearMetadata.
#pragma once

#include <cstdint>

namespace qp {

struct ExifInfo {
  // The parser's fields are added with the parser; the record stays a plain aggregate so
  // that value-initialisation zeroes it.
  int32_t isExif = 0;
};

}  // namespace qp
