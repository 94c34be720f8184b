// Feeds arbitrary bytes to the WebP loader, stills and animations alike, and steps any
// playback that starts through a few frames.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/webp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qp::ViewerState state;
  qp::DecodeResult r = qp::LoadWebPFromMemory(std::vector<uint8_t>(data, data + size), state, true);
  if (r.isCanvas()) {
    for (int i = 0; i < 4; ++i) state.StepPlayback();
  }
  state.StopPlayback();
  return 0;
}
