// Decodes the input as a PNG.
#include <cstddef>
#include <cstdint>

#include "codecs/png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qp::DecodePng({data, size});
  return 0;
}
