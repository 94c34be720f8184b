// QOI files, encoded and decoded per the published QOI 1.0 format.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/viewer_state.h"

namespace qp {

std::optional<ImageBuffer> readQoi(const std::string& path, ViewerState& state);
// Null on success, else "Couldn't write/encode file".
const char* writeQoi(const uint8_t* pixels, int32_t width, int32_t height, const char* path);

}  // namespace qp
