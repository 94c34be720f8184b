// WebP: still and animated decoding and encoding on libwebp. Animated files are composed by
// the program itself over the demultiplexer's frame iterator: a frame's pixels with alpha 0
// leave the canvas alone, every other pixel replaces it (no partial blending); a frame whose
// predecessor was disposed to the background first sees that rectangle filled, and a no-blend
// frame sees its own rectangle filled.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "codecs/decode_result.h"
#include "core/viewer_state.h"

namespace qp {

// Decodes a WebP file. With `animate` set on an animated file a playback starts and the
// result is its canvas; while a WebP playback runs, a call with `animate` steps it. With
// `animate` clear the caller owns the result (the first frame of an animation) and a running
// playback is left untouched.
DecodeResult LoadWebP(const std::string& path, ViewerState& state, bool animate);
// The same over bytes in memory (which an animated playback takes over).
DecodeResult LoadWebPFromMemory(std::vector<uint8_t> data, ViewerState& state, bool animate);

// Decodes a still WebP file touching no shared state, so any thread may call it. An animated
// file yields no picture (only its details): it needs a playback.
DecodeResult LoadStillWebP(const std::string& path);

// Delay of frame `index` of the running WebP playback: 100 ms when the index is beyond the
// frame count, when nothing plays, or when the stored delay is 0.
uint16_t WebpFrameDelay(const ViewerState& state, int32_t index);
// Sum of the delays of all frames of the running WebP playback.
uint32_t WebpTotalDuration(const ViewerState& state);
// The loop count stored in the running WebP playback's file (0 = endless, or nothing plays).
int32_t WebpLoopCount(const ViewerState& state);

// Encodes BGRA pixels; quality 100 is lossless, 0 keeps the encoder default of 75. With
// `hasAlpha` clear the alpha bytes are ignored. With a null path nothing is written. A failure
// after the file was opened removes it; earlier failures leave an existing file alone. Null on
// success or one of "Init failed", "Invalid config", "Could not read RGBA", "Could not read
// RGB", "Could not write file", "Could not encode". `icc`, when given, is embedded as the
// picture's colour profile.
const char* EncodeWebP(const uint8_t* pixels, int32_t width, int32_t height, int32_t quality,
                       const char* path, bool hasAlpha, std::span<const uint8_t> icc = {});

}  // namespace qp
