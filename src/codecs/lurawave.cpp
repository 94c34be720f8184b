// Placeholder until this format's decoder lands: every call yields nothing, so the load
// dispatch falls through to its fall-backs.
#include "codecs/lurawave.h"

namespace qp {

std::optional<ImageBuffer> loadLuraWave(const std::string&, ViewerState&) { return std::nullopt; }

}  // namespace qp
