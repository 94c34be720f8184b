// AVIF through the external avifdec program and a temporary PNG.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/viewer_state.h"

namespace qp {

// avifdec beside the executable, else on PATH; "" when there is none.
std::string AvifDecoderPath();
bool avifDecoderPresent();

// Runs avifdec into a temporary PNG in TempFolder() (TMP_TRACE when set), decodes it and
// deletes it in every case.
std::optional<ImageBuffer> loadAvif(const std::string& path, ViewerState& state);

}  // namespace qp
