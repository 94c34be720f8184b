// The fixed-point scaler that builds the on-screen copy for zooms below 2.
#pragma once

#include <cstdint>
#include <optional>

#include "core/image_buffer.h"

namespace qp {

// The on-screen copy for zooms below 2: exact halving, bilinear enlarging or area averaging.
std::optional<ImageBuffer> DisplayScale(const uint8_t* src, int32_t w, int32_t h, int32_t nw,
                                        int32_t nh);

}  // namespace qp
