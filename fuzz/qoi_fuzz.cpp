// Arbitrary bytes through the QOI decoder, in each channel mode.
#include <cstddef>
#include <cstdint>
#include <span>

#include "codecs/qoi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int channels : {0, 3, 4}) {
    qp::QoiDescription desc;
    (void)qp::QoiDecode(std::span<const uint8_t>(data, size), desc, channels);
  }
  return 0;
}
