// The program's raw BGRA files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/viewer_state.h"

namespace qp {

std::optional<ImageBuffer> readRawBgra(const std::string& path, ViewerState& state);
// Null on success, else "Could not write file" or "Could not encode".
const char* writeRawBgra(const uint8_t* pixels, int32_t width, int32_t height, const char* path);

}  // namespace qp
