// LuraWave files through the libLwf.so component (looked for beside the executable first,
// then by the dynamic loader), which exports
//   void* ReadLuRaWave(const char* path, int zero, void* a, void* b, int* width, int* height)
// returning a malloc'ed device-independent bitmap: a 40-byte info header, a 256-entry palette
// of blue, green, red, reserved for 8-bit pictures, then bottom-up rows padded to 4 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/viewer_state.h"

namespace qp {

std::optional<ImageBuffer> loadLuraWave(const std::string& path, ViewerState& state);

// Turns the component's bitmap block (`block` holds its usable bytes) of width x height into
// a picture, or nothing when the block cannot hold that picture.
std::optional<ImageBuffer> ConvertLuraWaveBlock(std::span<const uint8_t> block, int32_t width,
                                                int32_t height);

}  // namespace qp
