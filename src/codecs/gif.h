// The program's own GIF decoder and frame compositing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "codecs/decode_result.h"
#include "core/viewer_state.h"

namespace qp {

DecodeResult loadGif(const std::string& path, ViewerState& state, bool animate);

}  // namespace qp
