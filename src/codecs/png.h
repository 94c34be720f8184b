// PNG reading (every colour type and depth expanded to 8-bit BGRA) and writing (8-bit RGB or
// RGBA).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "codecs/decode_result.h"

namespace qp {

// Decodes a PNG file. Its details (pngColourType, pngBitDepth, hasAlpha: an alpha channel or a
// transparency chunk) are learned once the header is read, also when decoding then fails.
// Fully transparent pixels come back white; pictures without alpha or transparency have
// alpha 0.
DecodeResult LoadPng(const std::string& path);
// The same over PNG bytes in memory.
DecodeResult DecodePng(std::span<const uint8_t> bytes);
// Writes 8-bit RGB or RGBA (as SavePng chooses) with tEXt chunks (keyword, Latin-1 text) to
// an open file; false on failure. The file is left open. `zlibLevel` 1 to 9 sets the
// compression (0 or less: the library's default).
bool WritePngWithText(std::FILE* file, const uint8_t* pixels, int32_t width, int32_t height,
                      std::span<const std::pair<std::string, std::string>> text,
                      int zlibLevel = 0);
// Null on success or "Could not save PNG file". Writes RGBA when the alpha bytes carry
// information (HasMeaningfulAlpha), RGB otherwise. `level` has no effect; `icc`, when given,
// is embedded as the picture's colour profile.
const char* SavePng(const uint8_t* pixels, int32_t width, int32_t height, int32_t level,
                    const char* path, std::span<const uint8_t> icc = {});

}  // namespace qp
