// Placeholder until this format's decoder lands: every call yields nothing, so the load
// dispatch falls through to its fall-backs.
#include "codecs/svg.h"

namespace qp {

std::optional<ImageBuffer> renderSvg(const std::string&, ViewerState&, int32_t, int32_t) {
  return std::nullopt;
}
std::optional<ImageBuffer> renderSvgz(const std::string&, ViewerState&, int32_t, int32_t) {
  return std::nullopt;
}

}  // namespace qp
