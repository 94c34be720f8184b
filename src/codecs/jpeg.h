// JPEG reading (libjpeg) and writing (TurboJPEG, 4:4:4, fast DCT).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/viewer_state.h"

namespace qp {

std::optional<ImageBuffer> LoadJpeg(const std::string& path, ViewerState& state);
// Null on success or "Could not save JPG file".
const char* SaveJpeg(const uint8_t* pixels, int32_t width, int32_t height, int32_t quality,
                     const char* path);

}  // namespace qp
