// LuraWave files through the libLwf.so component.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/viewer_state.h"

namespace qp {

std::optional<ImageBuffer> loadLuraWave(const std::string& path, ViewerState& state);

}  // namespace qp
