// Placeholder until this format's decoder lands: every call yields nothing, so the load
// dispatch falls through to its fall-backs.
#include "codecs/jpeg.h"

namespace qp {

std::optional<ImageBuffer> LoadJpeg(const std::string&, ViewerState&) { return std::nullopt; }
const char* SaveJpeg(const uint8_t*, int32_t, int32_t, int32_t, const char*) {
  return "Could not save JPG file";
}

}  // namespace qp
