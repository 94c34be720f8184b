// PNG reading (expanded to 8-bit BGRA) and writing (8-bit RGB or RGBA).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/viewer_state.h"

namespace qp {

std::optional<ImageBuffer> LoadPng(const std::string& path, ViewerState& state);
// Null on success or "Could not save PNG file". `level` has no effect.
const char* SavePng(const uint8_t* pixels, int32_t width, int32_t height, int32_t level,
                    const char* path);

}  // namespace qp
