// readIcon(writeIcon(x)) == x for arbitrary pictures up to 64 x 64: colours are kept exactly,
// alpha becomes 0 where it was 0 and 255 elsewhere when the picture's alpha is meaningful.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "codecs/ico.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int32_t width = data[0] % 64 + 1;
  const int32_t height = static_cast<int32_t>((size - 1) / 4 / static_cast<size_t>(width));
  if (height == 0 || height > 64) return 0;
  const uint8_t* px = data + 1;
  const std::string path = "/tmp/qp-fuzz-" + std::to_string(getpid()) + ".ico";
  if (qp::writeIcon(px, width, height, path.c_str()) != nullptr) std::abort();
  auto back = qp::readIcon(path);
  std::remove(path.c_str());
  if (!back || back->width() != width || back->height() != height) std::abort();
  const bool masked = qp::HasMeaningfulAlpha(px, width, height);
  for (size_t i = 0; i < back->pixelCount(); ++i) {
    const uint8_t* a = px + i * 4;
    const uint8_t* b = back->data() + i * 4;
    const uint8_t alpha = masked && a[3] == 0 ? 0 : 255;
    if (a[0] != b[0] || a[1] != b[1] || a[2] != b[2] || b[3] != alpha) std::abort();
  }
  return 0;
}
