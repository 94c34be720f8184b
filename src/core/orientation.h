// Picture orientation as cameras record it (the EXIF/TIFF Orientation value, 1 to 8): how the
// stored pixels must be turned to stand upright.
//
//   1 as stored                 5 transposed (mirrored along the main diagonal)
//   2 mirrored left to right    6 turned 90 degrees clockwise
//   3 turned 180 degrees        7 transversed (mirrored along the other diagonal)
//   4 mirrored top to bottom    8 turned 90 degrees counter-clockwise
//
// Values 5 to 8 swap width and height. Any other value (0, 9, 65535 ...) means "as stored".
// The "shown" picture is the upright one, the "stored" picture the one in the file.
#pragma once

#include <cstdint>
#include <optional>

#include "core/image_buffer.h"

namespace qp {

// The value itself when it is 1 to 8, else 1.
inline int32_t NormalOrientation(int64_t value) {
  return value >= 1 && value <= 8 ? static_cast<int32_t>(value) : 1;
}
// True when the upright picture is as tall as the stored one is wide.
inline bool OrientationSwapsSides(int32_t orientation) {
  return orientation >= 5 && orientation <= 8;
}

// A pixel rectangle, right and bottom exclusive.
struct OrientedRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const OrientedRect&) const = default;
};

// Maps a rectangle of the shown (upright) picture to the same pixels of the stored picture of
// `storedWidth` x `storedHeight`, and back. The rectangle is taken as it is (clamp it first).
OrientedRect ShownToStored(const OrientedRect& shown, int32_t orientation, int32_t storedWidth,
                           int32_t storedHeight);
OrientedRect StoredToShown(const OrientedRect& stored, int32_t orientation, int32_t storedWidth,
                           int32_t storedHeight);

// The upright picture made from stored pixels; nothing when memory is short.
std::optional<ImageBuffer> TurnUpright(const ImageBuffer& stored, int32_t orientation);
// Replaces `picture` by its upright version (nothing to do for orientation 1). False, with the
// picture left as stored, when memory is short.
bool TurnUprightInPlace(ImageBuffer& picture, int32_t orientation);

}  // namespace qp
