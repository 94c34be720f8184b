// Placeholder until this format's decoder lands: every call yields nothing, so the load
// dispatch falls through to its fall-backs.
#include "codecs/gif.h"

namespace qp {

DecodeResult loadGif(const std::string&, ViewerState&, bool) { return {}; }

}  // namespace qp
