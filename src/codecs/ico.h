// Icon files: the first image of an icon is read (1, 4, 8, 24 or 32 bits, transparency from
// the 1-bit mask); a picture is written as a one-image icon whose depth follows from its
// number of distinct colours.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/viewer_state.h"

namespace qp {

std::optional<ImageBuffer> readIcon(const std::string& path, ViewerState& state);

struct IconInfo {
  int32_t count = 0;
  int32_t planes = 0;
  int32_t bitCount = 0;
};
// Image count, and planes and bit count of the first image's bitmap header.
std::optional<IconInfo> readIconInfo(const std::string& path);

// Width and height must each be at most 255 (the callers ensure it). Null on success, else
// "Out of memory" or "Could not write file".
const char* writeIcon(const uint8_t* pixels, int32_t width, int32_t height, const char* path);

}  // namespace qp
