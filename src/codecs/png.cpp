// Placeholder until this format's decoder lands: every call yields nothing, so the load
// dispatch falls through to its fall-backs.
#include "codecs/png.h"

namespace qp {

std::optional<ImageBuffer> LoadPng(const std::string&, ViewerState&) { return std::nullopt; }
const char* SavePng(const uint8_t*, int32_t, int32_t, int32_t, const char*) {
  return "Could not save PNG file";
}

}  // namespace qp
