// Making one thumbnail from a picture file without decoding more than it needs: JPEG files
// from a smaller picture they carry when that covers the thumbnail (the EXIF thumbnail, or a
// large preview listed in a multi-picture index), else through the decoder's 1/2 to 1/8
// reduction; WebP through the decoder's own scaling, other formats through
// their normal decoders; then a box reduction to about twice the size and a Lanczos
// reduction to the size. The result is upright (the EXIF orientation applied) and fits a
// square of the given side. Safe to call from several threads at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/image_buffer.h"

namespace qp {

enum class ThumbnailOutcome : uint8_t {
  Made,         // `pixels` holds the thumbnail
  Unreadable,   // a picture format the program reads, but this file could not be read
  Unsupported,  // no decoder that can run here: shown as a plain cell, nothing recorded
};

struct MadeThumbnail {
  ThumbnailOutcome outcome = ThumbnailOutcome::Unsupported;
  ImageBuffer pixels;  // BGRA, alpha 255 where opaque
  int32_t sourceWidth = 0;
  int32_t sourceHeight = 0;  // as shown (after the orientation)
  std::string mime;
};

MadeThumbnail MakeThumbnail(const std::string& path, int32_t side);

// The size that fits a width x height picture into a side x side square, proportions kept;
// a picture already inside keeps its size.
void FitInSquare(int32_t width, int32_t height, int32_t side, int32_t& outWidth,
                 int32_t& outHeight);
// Turns a picture upright for an EXIF orientation (1 to 8; other values leave it).
bool ApplyOrientation(ImageBuffer& img, int32_t orientation);

}  // namespace qp
