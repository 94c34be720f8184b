// Where a picture file records its orientation, by the file's content: a JPEG's EXIF block, a
// PNG's eXIf chunk, a WebP's EXIF chunk (all three read by the one EXIF parser), the
// Orientation tag of a TIFF file's first directory, and the rotation (irot) and mirror (imir)
// properties of an AVIF or HEIF file's primary item.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qp {

// The orientation (1 to 8, see core/orientation.h) the file's stored pixels need to stand
// upright; 1 when the file records none, records an invalid value, or cannot be read.
int32_t ReadFileOrientation(const std::string& path);

// The orientation equal to an ISO media item's rotation (`quarterTurns` anticlockwise, 0 to 3)
// followed by its mirror (`mirror`: -1 none, 0 top to bottom, 1 left to right).
int32_t OrientationOfRotateMirror(int32_t quarterTurns, int32_t mirror);

// The same for bytes already read: an ISO media file's start holding its "meta" box.
int32_t IsoMediaOrientation(std::span<const uint8_t> bytes);

}  // namespace qp
