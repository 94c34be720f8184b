// The FreeImage library, loaded at run time when present.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/viewer_state.h"

namespace qp {

inline constexpr int32_t kFreeImageBmp = 0;
// Loads with a known format number.
std::optional<ImageBuffer> loadWithLibrary(const std::string& path, int32_t format);
// Loads with the format the library detects.
std::optional<ImageBuffer> loadAnyWithLibrary(const std::string& path);
// Saves 24-bit (alpha dropped); the library's success value (non-zero on success).
int32_t saveWithLibrary(const std::string& path, int32_t format, int32_t flags,
                        const uint8_t* pixels, int32_t width, int32_t height);

}  // namespace qp
