// Placeholder until this format's decoder lands: every call yields nothing, so the load
// dispatch falls through to its fall-backs.
#include "codecs/bgra.h"

namespace qp {

std::optional<ImageBuffer> readRawBgra(const std::string&, ViewerState&) { return std::nullopt; }
const char* writeRawBgra(const uint8_t*, int32_t, int32_t, const char*) {
  return "Could not write file";
}

}  // namespace qp
