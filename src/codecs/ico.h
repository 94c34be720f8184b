// Icon files: the first image of an icon is read (1, 4, 8, 24 or 32 bits, transparency from
// a 32-bit entry's alpha channel or else the 1-bit mask; or a PNG-stored entry through the
// PNG decoder); a picture is written as a one-image icon whose depth follows from its
// number of distinct colours.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "codecs/decode_result.h"

namespace qp {

// hasAlpha is learned when the picture has transparency.
DecodeResult readIcon(const std::string& path);

struct IconInfo {
  int32_t count = 0;
  int32_t planes = 0;
  int32_t bitCount = 0;
};
// Image count, and planes and bit count of the first image's bitmap header (for a PNG entry:
// 1 and its bits per pixel).
std::optional<IconInfo> readIconInfo(const std::string& path);

// Width and height must each be at most 255 (the callers ensure it). Null on success, else
// "Out of memory" or "Could not write file".
const char* writeIcon(const uint8_t* pixels, int32_t width, int32_t height, const char* path);

}  // namespace qp
