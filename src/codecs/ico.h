// Icon files: reading the first entry, writing 1/4/8/24-bit icons.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/viewer_state.h"

namespace qp {

std::optional<ImageBuffer> readIcon(const std::string& path, ViewerState& state);
// Null on success, else "Out of memory" or "Could not write file".
const char* writeIcon(const uint8_t* pixels, int32_t width, int32_t height, const char* path);

}  // namespace qp
