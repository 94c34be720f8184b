// Placeholder until this format's decoder lands: every call yields nothing, so the load
// dispatch falls through to its fall-backs.
#include "codecs/video.h"

namespace qp {

DecodeResult loadVideo(const std::string&, ViewerState&, bool) { return {}; }

}  // namespace qp
