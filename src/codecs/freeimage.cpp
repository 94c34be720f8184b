// Placeholder until this format's decoder lands: every call yields nothing, so the load
// dispatch falls through to its fall-backs.
#include "codecs/freeimage.h"

namespace qp {

std::optional<ImageBuffer> loadWithLibrary(const std::string&, int32_t) { return std::nullopt; }
std::optional<ImageBuffer> loadAnyWithLibrary(const std::string&) { return std::nullopt; }
int32_t saveWithLibrary(const std::string&, int32_t, int32_t, const uint8_t*, int32_t, int32_t) {
  return 0;
}

}  // namespace qp
