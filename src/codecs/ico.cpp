// Placeholder until this format's decoder lands: every call yields nothing, so the load
// dispatch falls through to its fall-backs.
#include "codecs/ico.h"

namespace qp {

std::optional<ImageBuffer> readIcon(const std::string&, ViewerState&) { return std::nullopt; }
const char* writeIcon(const uint8_t*, int32_t, int32_t, const char*) {
  return "Could not write file";
}

}  // namespace qp
