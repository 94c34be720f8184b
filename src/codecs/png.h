// PNG reading (every colour type and depth expanded to 8-bit BGRA) and writing (8-bit RGB or
// RGBA).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/viewer_state.h"

namespace qp {

// Decodes a PNG file. Records pngColourType, pngBitDepth, hasAlpha (the stored colour type has
// an alpha channel) and detailsValid once the header is read. Fully transparent pixels come
// back white; pictures without alpha or transparency have alpha 0.
std::optional<ImageBuffer> LoadPng(const std::string& path, ViewerState& state);
// The same over PNG bytes in memory.
std::optional<ImageBuffer> DecodePng(std::span<const uint8_t> bytes, ViewerState& state);
// Null on success or "Could not save PNG file". Writes RGBA when the alpha bytes carry
// information (HasMeaningfulAlpha), RGB otherwise. `level` has no effect.
const char* SavePng(const uint8_t* pixels, int32_t width, int32_t height, int32_t level,
                    const char* path);

}  // namespace qp
