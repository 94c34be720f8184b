// JPEG reading (libjpeg's decompressor) and writing (TurboJPEG, 4:4:4, fast DCT).
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "codecs/decode_result.h"

namespace qp {

// Decodes a JPEG file to BGRA with alpha 0 (JPEG has no alpha). jpegColourSpace and
// jpegProgressive are learned once the header is read, also when decoding then fails. CMYK
// and YCCK files yield no picture.
// With `cancel`, a decode still running when it turns true stops and yields no picture.
DecodeResult LoadJpeg(const std::string& path, const std::atomic<bool>* cancel = nullptr);
// The same over JPEG bytes in memory.
DecodeResult DecodeJpeg(std::span<const uint8_t> bytes);
// The compressed bytes of a BGRA picture (alpha ignored), or nothing on failure. Colour is
// kept at full resolution, or halved across (4:2:2) or across and down (4:2:0) as cameras
// store it.
enum class JpegChroma : uint8_t { Full, HalfWidth, Half };
std::optional<std::vector<uint8_t>> EncodeJpeg(const uint8_t* pixels, int32_t width,
                                               int32_t height, int32_t quality,
                                               JpegChroma chroma = JpegChroma::Full);
// Null on success or "Could not save JPG file". The alpha bytes are ignored; `icc`, when
// given, is embedded as the picture's colour profile.
const char* SaveJpeg(const uint8_t* pixels, int32_t width, int32_t height, int32_t quality,
                     const char* path, std::span<const uint8_t> icc = {});

}  // namespace qp
