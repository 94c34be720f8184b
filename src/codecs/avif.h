// AVIF through the external avifdec program and a temporary PNG.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "codecs/decode_result.h"

namespace qp {

// avifdec beside the executable, else on PATH; "" when there is none.
std::string AvifDecoderPath();
bool avifDecoderPresent();

// Runs avifdec into a temporary PNG in TempFolder() (TMP_TRACE when set), decodes it and
// deletes it in every case. The details are those of the PNG decoded; when the PNG has no
// colour chunk, the colour space is that of the file's colour box (its code points or ICC
// profile).
DecodeResult loadAvif(const std::string& path);

}  // namespace qp
