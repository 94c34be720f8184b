// SVG and SVGZ rendering (librsvg), white opaque background, 96 dpi.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/viewer_state.h"

namespace qp {

// A wanted size of 0 or less counts as not given.
std::optional<ImageBuffer> renderSvg(const std::string& path, ViewerState& state,
                                     int32_t wantedWidth, int32_t wantedHeight);
std::optional<ImageBuffer> renderSvgz(const std::string& path, ViewerState& state,
                                      int32_t wantedWidth, int32_t wantedHeight);

}  // namespace qp
