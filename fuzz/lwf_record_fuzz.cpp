// The LuraWave component's bitmap block: header, palette and padded bottom-up rows.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "codecs/lurawave.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // The first two bytes pick a small size; the rest is the block as the component hands it.
  const int32_t w = data[0] % 64 - 2, h = data[1] % 64 - 2;
  auto img = qp::ConvertLuraWaveBlock(std::span<const uint8_t>(data + 2, size - 2), w, h);
  if (img && (img->width() != w || img->height() != h)) __builtin_trap();
  return 0;
}
