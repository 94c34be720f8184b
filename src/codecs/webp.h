// WebP: still and animated decoding (own compositing over the demultiplexer) and encoding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "codecs/decode_result.h"
#include "core/viewer_state.h"

namespace qp {

// Decodes a WebP file. With `animate` set on an animated file a playback starts and the
// result is its canvas; otherwise the caller owns the result (the first frame of an
// animation), and a running playback is left untouched.
DecodeResult LoadWebP(const std::string& path, ViewerState& state, bool animate);

// Encodes BGRA pixels; quality 100 is lossless, 0 keeps the encoder default of 75. With
// `hasAlpha` clear the alpha bytes are ignored. Null on success or the message text.
const char* EncodeWebP(const uint8_t* pixels, int32_t width, int32_t height, int32_t quality,
                       const char* path, bool hasAlpha);

}  // namespace qp
