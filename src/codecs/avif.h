// AVIF through the external avifdec program and a temporary PNG.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/viewer_state.h"

namespace qp {

std::optional<ImageBuffer> loadAvif(const std::string& path, ViewerState& state);

}  // namespace qp
