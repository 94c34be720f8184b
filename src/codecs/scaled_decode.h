// Decoding at a reduced size, for a quick look at a large picture (the screen-size preview,
// thumbnails): the JPEG and WebP decoders scale while they decode, which costs a fraction of a
// full decode. Both touch no shared state, so any thread may call them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "codecs/decode_result.h"
#include "core/image_buffer.h"
#include "core/orientation.h"

namespace qp {

struct ScaledPicture {
  ImageBuffer picture;        // BGRA as the full decode gives it, at the reduced size
  int32_t fullWidth = 0;      // the picture's own size
  int32_t fullHeight = 0;
  DecodeDetails details;      // what the header told
  // For a decode of a part at full size: where `picture` lies in the whole picture.
  OrientedRect region;
};

// Given the picture's own size, the least size the caller wants; {0, 0} or more than the
// picture asks for the full size.
using ScaledTarget = std::function<std::pair<int32_t, int32_t>(int32_t fullWidth, int32_t fullHeight)>;

// A JPEG decoded at n/8 of its size (n from 1 to 8), n the least that gives at least the
// target in both directions. Nothing for a file that is not a JPEG, is damaged, or is CMYK.
std::optional<ScaledPicture> LoadJpegScaled(const std::string& path, const ScaledTarget& target);
// The same over JPEG bytes in memory (a picture stored inside another file).
std::optional<ScaledPicture> DecodeJpegScaled(std::span<const uint8_t> bytes,
                                              const ScaledTarget& target);

// Given the picture's own size, the rectangle of it the caller wants (right and bottom
// exclusive); nothing asks for no decode.
using RegionTarget =
    std::function<std::optional<OrientedRect>(int32_t fullWidth, int32_t fullHeight)>;

// Only a rectangle of a JPEG at full size, as the full decode gives those pixels: the columns
// outside it are not transformed, the rows above it are skipped and the rows below it are not
// read. Nothing for a file that is not a JPEG, is damaged or is CMYK, or for an empty
// rectangle.
std::optional<ScaledPicture> LoadJpegRegion(const std::string& path, const RegionTarget& target);

// A still WebP decoded straight at the target size (kept within the picture's own size, the
// aspect of the target as given). Nothing for an animated or damaged file.
std::optional<ScaledPicture> LoadStillWebPScaled(const std::string& path, const ScaledTarget& target);

}  // namespace qp
