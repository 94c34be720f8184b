// Placeholder until this format's decoder lands: every call yields nothing, so the load
// dispatch falls through to its fall-backs.
#include "codecs/avif.h"

namespace qp {

std::optional<ImageBuffer> loadAvif(const std::string&, ViewerState&) { return std::nullopt; }

}  // namespace qp
