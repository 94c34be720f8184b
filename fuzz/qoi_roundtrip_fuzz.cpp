// decode(encode(x)) == x for arbitrary RGBA pictures: the first two bytes give the width and
// channel count, the rest are pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "codecs/qoi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t channels = (data[1] & 1) ? 4 : 3;
  const uint32_t width = data[0] % 64 + 1;
  const size_t pixels = (size - 2) / channels;
  const uint32_t height = static_cast<uint32_t>(pixels / width);
  if (height == 0) return 0;
  const qp::QoiDescription desc{width, height, channels, 0};
  auto encoded = qp::QoiEncode(data + 2, desc);
  if (!encoded) std::abort();
  qp::QoiDescription back;
  auto decoded = qp::QoiDecode(*encoded, back, channels);
  const size_t bytes = size_t{width} * height * channels;
  if (!decoded || decoded->size() != bytes || std::memcmp(decoded->data(), data + 2, bytes) != 0)
    std::abort();
  return 0;
}
