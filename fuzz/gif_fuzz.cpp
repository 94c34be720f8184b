// Opens the input as a GIF and decodes every frame twice round, first with the bare decoder,
// then through the viewer's loader: a still picture and a playback stepped through all of its
// frames with the disposal methods applied.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "codecs/gif.h"

namespace {

// Screens above this are legal but only cost the fuzzer memory and time (a canvas, a saved
// canvas and the still picture each take width x height x 4 bytes).
constexpr uint32_t kMaxFuzzPixels = 1u << 16;
constexpr uint32_t kMaxFrames = 64;

const std::string& InputPath() {
  static const std::string path = "/tmp/qp_gif_fuzz_" + std::to_string(getpid()) + ".gif";
  return path;
}

bool WriteInput(const uint8_t* data, size_t size) {
  FILE* f = std::fopen(InputPath().c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qp::GifDecoder d;
  if (!d.openBytes({data, size})) return 0;
  if (uint32_t{d.screenWidth()} * d.screenHeight() > kMaxFuzzPixels) return 0;
  qp::ImageBuffer canvas = *qp::ImageBuffer::Filled(1, 1, 0);
  if (auto c = qp::ImageBuffer::Filled(d.screenWidth(), d.screenHeight(), 0)) canvas = std::move(*c);
  const uint32_t frames = d.frameCount() < kMaxFrames ? d.frameCount() : kMaxFrames;
  for (uint32_t i = 0; i < frames * 2; ++i) {
    if (d.nextFrame()) {
      d.fillRect(canvas, 0, 0, 2, 2);
      d.blit(canvas);
    }
    if (i == frames) d.rewind();
  }

  if (!WriteInput(data, size)) return 0;
  qp::ViewerState state;
  const qp::DecodeResult still = qp::loadGif(InputPath(), state, false);
  if (still && (still.width() != d.screenWidth() || still.height() != d.screenHeight()))
    __builtin_trap();
  qp::DecodeResult shown = qp::loadGif(InputPath(), state, true);
  if (shown && state.animating) {
    for (uint32_t i = 0; i < frames * 2; ++i) {
      shown = qp::loadGif(InputPath(), state, true);
      if (!shown || shown.width() != d.screenWidth()) __builtin_trap();
      if (state.frameIndex < 0 || state.frameIndex >= state.frameCount) __builtin_trap();
    }
  }
  state.StopPlayback();
  return 0;
}
