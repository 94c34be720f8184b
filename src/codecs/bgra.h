// The program's raw BGRA files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "codecs/decode_result.h"

namespace qp {

// hasAlpha is learned when a complete file's alpha bytes carry information.
DecodeResult readRawBgra(const std::string& path);
// Null on success, else "Could not write file" (cannot open) or "Could not encode" (a short
// write, or a side above 65535 that the 16-bit header cannot hold).
const char* writeRawBgra(const uint8_t* pixels, int32_t width, int32_t height, const char* path);

}  // namespace qp
