// Opens the input as a GIF and decodes every frame of a playback, twice round.
#include <cstddef>
#include <cstdint>

#include "codecs/gif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qp::GifDecoder d;
  if (!d.openBytes({data, size})) return 0;
  qp::ImageBuffer canvas = *qp::ImageBuffer::Filled(1, 1, 0);
  if (auto c = qp::ImageBuffer::Filled(d.screenWidth(), d.screenHeight(), 0)) canvas = std::move(*c);
  const uint32_t frames = d.frameCount() < 64 ? d.frameCount() : 64;
  for (uint32_t i = 0; i < frames * 2; ++i) {
    if (d.nextFrame()) {
      d.fillRect(canvas, 0, 0, 2, 2);
      d.blit(canvas);
    }
    if (i == frames) d.rewind();
  }
  return 0;
}
