// Video frames through the libFFmpegDLL.so component, played as a Playback.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "codecs/decode_result.h"
#include "core/viewer_state.h"

namespace qp {

DecodeResult loadVideo(const std::string& path, ViewerState& state, bool animate);

}  // namespace qp
