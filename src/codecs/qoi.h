// QOI files ("Quite OK Image Format", version 1.0), encoded and decoded here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "codecs/decode_result.h"

namespace qp {

struct QoiDescription {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t channels = 0;    // 3 = RGB, 4 = RGBA
  uint8_t colourspace = 0; // 0 = sRGB with linear alpha, 1 = all linear
};

// Encodes RGB or RGBA pixels (in QOI's channel order); nothing when the description breaks
// the limits or memory is short.
std::optional<std::vector<uint8_t>> QoiEncode(const uint8_t* pixels, const QoiDescription& desc);
// Decodes a QOI stream into RGB or RGBA pixels (`channels` 0 = as the file says); nothing for
// a bad header or too many pixels. A stream that ends early repeats its last pixel.
std::optional<std::vector<uint8_t>> QoiDecode(std::span<const uint8_t> data, QoiDescription& desc,
                                              int channels);

// A QOI file as BGRA; a 3-channel file gets alpha 0. hasAlpha is learned for a 4-channel file
// whose alpha carries information.
DecodeResult readQoi(const std::string& path);
// Writes 4-channel QOI with the picture's own alpha when that alpha carries information
// (HasMeaningfulAlpha), else 3-channel QOI (which readers take as alpha 255). Null on success,
// else "Couldn't write/encode file".
const char* writeQoi(const uint8_t* pixels, int32_t width, int32_t height, const char* path);

}  // namespace qp
