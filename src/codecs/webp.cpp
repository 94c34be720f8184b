// Placeholder until this format's decoder lands: every call yields nothing, so the load
// dispatch falls through to its fall-backs.
#include "codecs/webp.h"

namespace qp {

DecodeResult LoadWebP(const std::string&, ViewerState&, bool) { return {}; }
const char* EncodeWebP(const uint8_t*, int32_t, int32_t, int32_t, const char*, bool) {
  return "Init failed";
}

}  // namespace qp
