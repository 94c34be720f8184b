// JPEG reading (libjpeg's decompressor) and writing (TurboJPEG, 4:4:4, fast DCT).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/viewer_state.h"

namespace qp {

// Decodes a JPEG file to BGRA with alpha 0 (JPEG has no alpha). Records jpegColourSpace,
// jpegProgressive and detailsValid once the header is read. CMYK and YCCK files yield nothing.
std::optional<ImageBuffer> LoadJpeg(const std::string& path, ViewerState& state);
// The same over JPEG bytes in memory.
std::optional<ImageBuffer> DecodeJpeg(std::span<const uint8_t> bytes, ViewerState& state);
// Null on success or "Could not save JPG file". The alpha bytes are ignored.
const char* SaveJpeg(const uint8_t* pixels, int32_t width, int32_t height, int32_t quality,
                     const char* path);

}  // namespace qp
